// The update sequence, steps [01] to [12], with its ways out when a step fails.
#include "update/update_thread.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "bootmode/boot_protocol.h"
#include "bootmode/device_list.h"
#include "bootmode/mod_update_1527.h"
#include "image/firmware_file.h"
#include "serial/text_conversion.h"
#include "update/operator_routines.h"

UpdateThread* g_updateThread = nullptr;
ModUpdate1527* g_updateModule = nullptr;

namespace {

const wchar_t kOk[] = L"----> Ok.\r\n";
const wchar_t kFailed[] = L"----> Failed\r\n";
const wchar_t kNewLine[] = L"\r\n";
const char kSupportedDevice[] = "H8SX 1520R(40MHz)";
const int kRebootAttempts = 6;

void AppendAll(std::initializer_list<const wchar_t*> texts) {
    for (const wchar_t* text : texts) {
        AppendLog(text);
    }
}

// What the module tells of a run that ended at `step`, taken before a way out talks to the board.
RunOutcome Ended(const ModUpdate1527& module, RunEnd end, int step) {
    RunOutcome outcome;
    outcome.end = end;
    outcome.step = step;
    outcome.blocksAcknowledged = module.BlocksAcknowledged();
    outcome.endAcknowledged = module.EndOfProgrammingAcknowledged();
    outcome.verifiedSum = module.VerifiedSum();
    outcome.firstDifference = module.FirstDifference();
    outcome.lostTheLink = module.LostTheLink();
    outcome.exchange = module.LastExchange();
    outcome.portProblem = module.LastOpenProblem();
    return outcome;
}

// Ways out of a failed step.
RunOutcome Stop(ModUpdate1527& module, int step) {
    const RunOutcome outcome = Ended(module, RunEnd::StepFailed, step);
    SetMarquee(false);
    module.CloseCom();
    EnableControls();
    return outcome;
}

RunOutcome StopAndReboot(ModUpdate1527& module, int step) {
    const RunOutcome outcome = Ended(module, RunEnd::StepFailed, step);
    SetMarquee(false);
    module.CloseCom();
    module.Reboot();
    EnableControls();
    return outcome;
}

RunOutcome RebootOnce(ModUpdate1527& module, RunEnd end, int step) {
    const RunOutcome outcome = Ended(module, end, step);
    module.Reboot();
    EnableControls();
    return outcome;
}

// Lists the devices and picks the first whose name holds the supported device's; null if none.
const DeviceEntry* ChooseDevice(const DeviceList& list) {
    AppendLog(L"---> Models :\r\n");
    if (list.count < 1) {
        return nullptr;
    }
    // Never beyond the entries actually parsed, whatever count the reply announced.
    size_t listed = std::min(static_cast<size_t>(list.count), list.entries.size());
    for (size_t i = 0; i < listed; ++i) {
        wchar_t line[128];
        std::swprintf(line, sizeof(line) / sizeof(line[0]), L" ... %02d) %ls\r\n",
                      static_cast<int>(i + 1), AnsiToWide(list.entries[i].name));
        AppendLog(line);
    }
    for (size_t i = 0; i < listed; ++i) {
        if (std::strstr(list.entries[i].name, kSupportedDevice) != nullptr) {
            return &list.entries[i];
        }
    }
    return nullptr;
}

// True when one of the attempts rebooted the board.
bool RebootAttempts(UpdateModule& module) {
    for (int attempt = 0; attempt < kRebootAttempts; ++attempt) {
        AppendLog(L".");
        if (module.Reboot()) {
            AppendLog(L"---> Ok.\r\n");
            return true;
        }
    }
    AppendLog(L"---> Failed to reboot !\r\n");
    return false;
}

// The verify option's check, once the device is selected: the user MAT's areas, and the image
// inside them; false, logged, when the inquiry fails or the image does not fit.
bool UserMatHoldsTheImage(ModUpdate1527& module, std::vector<FlashArea>& areas) {
    if (!module.InquireUserMat(areas)) {
        AppendLog(L"---> failed to inquire the user MAT !\r\n");
        return false;
    }
    for (const FlashArea& area : areas) {
        wchar_t line[64];
        std::swprintf(line, sizeof(line) / sizeof(line[0]), L"---> user MAT : 0x%08X - 0x%08X\r\n",
                      area.first, area.last);
        AppendLog(line);
    }
    if (!DataLiesWithin(*g_srecReader, areas)) {
        AppendLog(L"---> the image does not fit the user MAT !\r\n");
        return false;
    }
    return true;
}

}  // namespace

bool IsUpdateRunning() {
    return g_updateThread != nullptr && g_updateThread->HasThreadHandle();
}

UpdateThread::UpdateThread(const RunOptions& options) : options_(options) {}

void UpdateThread::PreRun() {}

void UpdateThread::Run(int32_t) {
    outcome_ = RunSteps();
    outcome_.interrupted = g_updateModule != nullptr && g_updateModule->Interrupted();
}

RunOutcome UpdateThread::Outcome() const {
    return outcome_;
}

RunOutcome UpdateThread::RunSteps() {
    AppendAll(
        {L"\r\n", L"************************************\r\n",
         L"**                                **\r\n", L"** Updating firmware sequence ... **\r\n",
         L"**                                **\r\n", L"************************************\r\n",
         L"\r\n", L"... wait for completed ! \r\n", L"\r\n"});
    SetMarquee(true);
    if (g_firmwarePath.empty()) {
        AppendLog(L"ERROR:\r\n");
        AppendLog(L"firmware file not selected.\r\n");
        // The Write command disabled the controls before this thread started: give them back.
        EnableControls();
        return RunOutcome();
    }
    DisableControls();
    if (g_updateModule == nullptr) {
        g_updateModule = new ModUpdate1527();
    }
    ModUpdate1527& module = *g_updateModule;
    UpdateModule& update = module;
    module.errorCallback = ReportError;
    module.logCallback = AppendLogA;
    module.progressCallback = SetProgress;
    module.statusCallback = SetStatusTextA;
    module.SetOptions({options_.replyPaced, options_.verify});

    const std::wstring portNameWide = ReadSelectedPortName();
    const std::string portName = WideToAnsi(portNameWide.c_str());

    AppendAll({L"[01] CONNECT TEST : ", portNameWide.c_str(), L"\r\n"});
    if (!update.OpenCom(portName.c_str())) {
        AppendLog(kFailed);
        return Stop(module, 1);
    }
    AppendAll({kOk, kNewLine, L"[02] BOOT MODE\r\n"});
    if (!module.SetBootMode(IsCharacterCommandChecked())) {
        AppendLog(kFailed);
        return StopAndReboot(module, 2);
    }
    AppendAll({kOk, kNewLine, L"[03] APPORVAL \r\n"});
    if (!module.ConnectApprove()) {
        AppendLog(kFailed);
        return StopAndReboot(module, 3);
    }
    AppendAll({kOk, kNewLine, L"[04] SUPPORT MODE CHECK\r\n"});
    DeviceList devices;
    if (!module.InquireDevices(devices)) {
        AppendLog(kFailed);
        return StopAndReboot(module, 4);
    }
    const DeviceEntry* chosen = ChooseDevice(devices);
    if (chosen == nullptr) {
        AppendAll({L"---> no supported mode found !\r\n", L"STOP.\r\n"});
        return StopAndReboot(module, 4);
    }
    AppendAll({kOk, kNewLine, L"[05] PROGRAMMING MODE INQ.\r\n"});
    std::vector<uint16_t> modes;
    if (!module.InquireProgrammingModes(modes)) {
        AppendLog(L"---> programing modes not found !\r\n");
        return StopAndReboot(module, 5);
    }
    AppendAll({kOk, kNewLine, L"[06] DEVICE SELECTION.\r\n"});
    DeviceEntry selected = {};
    std::memcpy(&selected, chosen, sizeof(selected));
    if (!module.SelectDevice(selected)) {
        AppendLog(L"---> programing modes not found !\r\n");
        return StopAndReboot(module, 6);
    }
    std::vector<FlashArea> userMat;
    if (options_.verify && !UserMatHoldsTheImage(module, userMat)) {
        return StopAndReboot(module, 6);
    }
    AppendAll({kOk, kNewLine, L"[07] CLOCK MODE SET.\r\n"});
    if (!module.SetClockMode(0)) {
        AppendLog(L"---> failed to set default clock mode !\r\n");
        return StopAndReboot(module, 7);
    }
    AppendAll({kOk, kNewLine, L"[08] CHANGING BPS : 38400 \r\n"});
    // 38400 bps (384 x 100), 5.00 MHz input clock (500 x 0.01 MHz), ratios 8 and 4.
    uint8_t bitRateBlock[85] = {0x01, 0x80, 0x01, 0xF4, 0x02, 0x08, 0x04};
    if (!module.SelectBPS(bitRateBlock)) {
        AppendLog(L"---> failed to change BPS command !\r\n");
        return Stop(module, 8);
    }
    AppendAll({kOk, L"... reconnecting to 38400 BPS \r\n"});
    if (!module.ChangeBPS(kProgrammingBitRate)) {
        AppendLog(L"---> failed to change BPS!\r\n");
        return Stop(module, 8);
    }
    AppendAll({kOk, kNewLine, L"[09] CONFIRM BPS : 38400 \r\n"});
    if (!module.ConfirmBPS()) {
        AppendLog(L"---> failed to confirm BPS !\r\n");
        return Stop(module, 9);
    }
    AppendAll({kOk, kNewLine, L"[10] SET TO PROGRAMMING MODE \r\n"});
    if (!module.SetProgrammingMode()) {
        AppendAll({L"---> failed to set programming mode !\r\n", L"\r\n[information]\r\n",
                   L"retry to update if failed in this sequence.\r\n"});
        return Stop(module, 10);
    }
    AppendLog(kOk);
    SetMarquee(false);
    AppendAll(
        {kNewLine, L"[11] PROGRAMMING\r\n", kNewLine, L"... wait for done ...\r\n", kNewLine});
    if (!update.ProgrammingSequence(g_srecReader)) {
        AppendLog(L"---> failed to programming !\r\n");
        return RebootOnce(module, RunEnd::StepFailed, 11);
    }
    if (options_.verify && !module.VerifyUserMat(g_srecReader, userMat, options_.readBack)) {
        AppendLog(L"---> failed to verify !\r\n");
        return RebootOnce(module, RunEnd::VerifyFailed, 11);
    }
    AppendAll({kOk, kNewLine, L"[12] REBOOTING\r\n"});
    const bool rebooted = RebootAttempts(update);
    AppendLog(kNewLine);
    SetStatusText(L"Completed.");
    EnableControls();
    return Ended(module, rebooted ? RunEnd::Completed : RunEnd::RebootFailed, 12);
}
