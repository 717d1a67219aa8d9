// The update sequence, steps [01] to [12], with its ways out when a step fails.
#include "update/update_thread.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bootmode/bit_rate_rule.h"
#include "bootmode/boot_protocol.h"
#include "serial/text_conversion.h"
#include "update/operator.h"

namespace {

const wchar_t kOk[] = L"----> Ok.\r\n";
const wchar_t kFailed[] = L"----> Failed\r\n";
const wchar_t kNewLine[] = L"\r\n";
const int kRebootAttempts = 6;
// The step the reboot attempts make.
const int kRebootStep = 12;

}  // namespace

UpdateThread::UpdateThread(ModUpdate1527& module, Operator& reports, const UpdateJob& job)
    : module_(module), operator_(reports), job_(job) {}

void UpdateThread::PreRun() {}

void UpdateThread::Run(int32_t) {
    // The module's clock: a run against a simulated board in process takes virtual time.
    WaitClock& clock = module_.Clock();
    const std::chrono::nanoseconds started = clock.Now();
    outcome_ = RunSteps();
    outcome_.interrupted = module_.Interrupted();
    outcome_.seconds = std::chrono::duration<double>(clock.Now() - started).count();
}

RunOutcome UpdateThread::Outcome() const {
    return outcome_;
}

void UpdateThread::AppendAll(std::initializer_list<const wchar_t*> texts) {
    for (const wchar_t* text : texts) {
        operator_.AppendLog(text);
    }
}

void UpdateThread::AppendNumbered(const wchar_t* format, int number) {
    wchar_t text[96];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), format, number);
    operator_.AppendLog(text);
}

void UpdateThread::NextStep(int step) {
    if (step_ != 0) {
        operator_.StepEnded(step_, true);
    }
    step_ = step;
    operator_.StepStarted(step);
}

RunOutcome UpdateThread::Ended(RunEnd end, int step) {
    RunOutcome outcome;
    outcome.end = end;
    outcome.step = step;
    outcome.bitRate = bitRate_;
    outcome.blocksAcknowledged = module_.BlocksAcknowledged();
    outcome.endAcknowledged = module_.EndOfProgrammingAcknowledged();
    outcome.verifiedSum = module_.VerifiedSum();
    outcome.firstDifference = module_.FirstDifference();
    outcome.lostTheLink = module_.LostTheLink();
    outcome.exchange = module_.LastExchange();
    outcome.portProblem = module_.LastOpenProblem();
    return outcome;
}

RunOutcome UpdateThread::Stop(int step, bool reboot) {
    const RunOutcome outcome = Ended(RunEnd::StepFailed, step);
    operator_.StepEnded(step, false);
    operator_.SetMarquee(false);
    module_.CloseCom();
    if (reboot) {
        module_.Reboot();
    }
    operator_.EnableControls();
    return outcome;
}

RunOutcome UpdateThread::Stop(int step) {
    return Stop(step, false);
}

RunOutcome UpdateThread::StopAndReboot(int step) {
    return Stop(step, true);
}

RunOutcome UpdateThread::RebootOnce(RunEnd end, int step) {
    const RunOutcome outcome = Ended(end, step);
    operator_.StepEnded(step, false);
    module_.Reboot();
    operator_.EnableControls();
    return outcome;
}

// Lists the devices and picks the first whose name holds the supported device's; null if none.
const DeviceEntry* UpdateThread::ChooseDevice(const DeviceList& list) {
    operator_.AppendLog(L"---> Models :\r\n");
    if (list.count < 1) {
        return nullptr;
    }
    // Never beyond the entries actually parsed, whatever count the reply announced.
    size_t listed = std::min(static_cast<size_t>(list.count), list.entries.size());
    for (size_t i = 0; i < listed; ++i) {
        wchar_t line[128];
        std::swprintf(line, sizeof(line) / sizeof(line[0]), L" ... %02d) %ls\r\n",
                      static_cast<int>(i + 1), AnsiToWide(list.entries[i].name));
        operator_.AppendLog(line);
    }
    for (size_t i = 0; i < listed; ++i) {
        if (std::strstr(list.entries[i].name, kSupportedDeviceName) != nullptr) {
            return &list.entries[i];
        }
    }
    return nullptr;
}

// True when one of the attempts rebooted the board.
bool UpdateThread::RebootAttempts() {
    UpdateModule& update = module_;
    for (int attempt = 0; attempt < kRebootAttempts; ++attempt) {
        operator_.AppendLog(L".");
        if (update.Reboot()) {
            operator_.AppendLog(L"---> Ok.\r\n");
            return true;
        }
    }
    operator_.AppendLog(L"---> Failed to reboot !\r\n");
    return false;
}

// The verify option's check, once the device is selected: the user MAT's areas, and the image
// inside them; false, logged, when the inquiry fails or the image does not fit.
bool UpdateThread::UserMatHoldsTheImage(std::vector<FlashArea>& areas) {
    if (!module_.InquireUserMat(areas)) {
        operator_.AppendLog(L"---> failed to inquire the user MAT !\r\n");
        return false;
    }
    for (const FlashArea& area : areas) {
        wchar_t line[64];
        std::swprintf(line, sizeof(line) / sizeof(line[0]), L"---> user MAT : 0x%08X - 0x%08X\r\n",
                      area.first, area.last);
        operator_.AppendLog(line);
    }
    if (!DataLiesWithin(*job_.image, areas)) {
        operator_.AppendLog(L"---> the image does not fit the user MAT !\r\n");
        return false;
    }
    return true;
}

RunOutcome UpdateThread::RunSteps() {
    AppendAll(
        {L"\r\n", L"************************************\r\n",
         L"**                                **\r\n", L"** Updating firmware sequence ... **\r\n",
         L"**                                **\r\n", L"************************************\r\n",
         L"\r\n", L"... wait for completed ! \r\n", L"\r\n"});
    operator_.SetMarquee(true);
    if (job_.image == nullptr) {
        operator_.AppendLog(L"ERROR:\r\n");
        operator_.AppendLog(L"firmware file not selected.\r\n");
        // The Write command disabled the controls before this thread started: give them back.
        operator_.EnableControls();
        return RunOutcome();
    }
    operator_.DisableControls();
    ModUpdate1527& module = module_;
    Operator& reports = operator_;
    module.errorCallback = [&reports](const char* text) { reports.ReportError(text); };
    module.logCallback = [&reports](const char* text) { reports.AppendLogA(text); };
    module.progressCallback = [&reports](int position, int maximum) {
        reports.SetProgress(position, maximum);
    };
    module.statusCallback = [&reports](const char* text) { reports.SetStatusTextA(text); };
    module.SetOptions({job_.options.replyPaced, job_.options.verify});

    const std::vector<int> rates = job_.options.bitRates.empty()
                                       ? std::vector<int>{kProgrammingBitRate}
                                       : job_.options.bitRates;
    for (size_t attempt = 0;; ++attempt) {
        RunOutcome outcome = RunAttempt(rates[attempt]);
        outcome.fallbacks = static_cast<int>(attempt);
        const bool linkFailed =
            outcome.end == RunEnd::StepFailed && (outcome.step == 8 || outcome.step == 9);
        if (!linkFailed || attempt + 1 >= rates.size() || module.Interrupted()) {
            return outcome;
        }
        // Entering boot mode again resets the board: nothing has been erased before [10].
        AppendNumbered(L"---> the link did not come up at %d BPS: ", rates[attempt]);
        AppendNumbered(L"starting over at %d BPS\r\n\r\n", rates[attempt + 1]);
        operator_.BitRateFellBack(rates[attempt], rates[attempt + 1]);
        operator_.SetMarquee(true);
        step_ = 0;
    }
}

RunOutcome UpdateThread::RunAttempt(int bitRate) {
    bitRate_ = bitRate;
    ModUpdate1527& module = module_;
    UpdateModule& update = module;
    const std::string portName = WideToAnsi(job_.portName.c_str());

    NextStep(1);
    AppendAll({L"[01] CONNECT TEST : ", job_.portName.c_str(), L"\r\n"});
    if (!update.OpenCom(portName.c_str())) {
        operator_.AppendLog(kFailed);
        return Stop(1);
    }
    NextStep(2);
    AppendAll({kOk, kNewLine, L"[02] BOOT MODE\r\n"});
    if (!module.SetBootMode(operator_.IsCharacterCommandChecked())) {
        operator_.AppendLog(kFailed);
        return StopAndReboot(2);
    }
    NextStep(3);
    AppendAll({kOk, kNewLine, L"[03] APPORVAL \r\n"});
    if (!module.ConnectApprove()) {
        operator_.AppendLog(kFailed);
        return StopAndReboot(3);
    }
    NextStep(4);
    AppendAll({kOk, kNewLine, L"[04] SUPPORT MODE CHECK\r\n"});
    DeviceList devices;
    if (!module.InquireDevices(devices)) {
        operator_.AppendLog(kFailed);
        return StopAndReboot(4);
    }
    const DeviceEntry* chosen = ChooseDevice(devices);
    if (chosen == nullptr) {
        AppendAll({L"---> no supported mode found !\r\n", L"STOP.\r\n"});
        return StopAndReboot(4);
    }
    NextStep(5);
    AppendAll({kOk, kNewLine, L"[05] PROGRAMMING MODE INQ.\r\n"});
    std::vector<uint16_t> modes;
    if (!module.InquireProgrammingModes(modes)) {
        operator_.AppendLog(L"---> programing modes not found !\r\n");
        return StopAndReboot(5);
    }
    NextStep(6);
    AppendAll({kOk, kNewLine, L"[06] DEVICE SELECTION.\r\n"});
    DeviceEntry selected = {};
    std::memcpy(&selected, chosen, sizeof(selected));
    if (!module.SelectDevice(selected)) {
        operator_.AppendLog(L"---> programing modes not found !\r\n");
        return StopAndReboot(6);
    }
    std::vector<FlashArea> userMat;
    if (job_.options.verify && !UserMatHoldsTheImage(userMat)) {
        return StopAndReboot(6);
    }
    NextStep(7);
    AppendAll({kOk, kNewLine, L"[07] CLOCK MODE SET.\r\n"});
    if (!module.SetClockMode(kDefaultClockMode)) {
        operator_.AppendLog(L"---> failed to set default clock mode !\r\n");
        return StopAndReboot(7);
    }
    NextStep(8);
    AppendAll({kOk, kNewLine});
    AppendNumbered(L"[08] CHANGING BPS : %d \r\n", bitRate);
    const std::vector<uint8_t> bitRateBlock = BitRateParameters(bitRate);
    if (!module.SelectBPS(bitRateBlock.data())) {
        operator_.AppendLog(L"---> failed to change BPS command !\r\n");
        return Stop(8);
    }
    operator_.AppendLog(kOk);
    AppendNumbered(L"... reconnecting to %d BPS \r\n", bitRate);
    if (!module.ChangeBPS(bitRate)) {
        operator_.AppendLog(L"---> failed to change BPS!\r\n");
        return Stop(8);
    }
    NextStep(9);
    AppendAll({kOk, kNewLine});
    AppendNumbered(L"[09] CONFIRM BPS : %d \r\n", bitRate);
    if (!module.ConfirmBPS()) {
        operator_.AppendLog(L"---> failed to confirm BPS !\r\n");
        return Stop(9);
    }
    NextStep(10);
    AppendAll({kOk, kNewLine, L"[10] SET TO PROGRAMMING MODE \r\n"});
    if (!module.SetProgrammingMode()) {
        AppendAll({L"---> failed to set programming mode !\r\n", L"\r\n[information]\r\n",
                   L"retry to update if failed in this sequence.\r\n"});
        return Stop(10);
    }
    operator_.AppendLog(kOk);
    operator_.SetMarquee(false);
    NextStep(11);
    AppendAll(
        {kNewLine, L"[11] PROGRAMMING\r\n", kNewLine, L"... wait for done ...\r\n", kNewLine});
    if (!module.ProgramImage(*job_.image)) {
        operator_.AppendLog(L"---> failed to programming !\r\n");
        return RebootOnce(RunEnd::StepFailed, 11);
    }
    if (job_.options.verify && !module.VerifyUserMat(*job_.image, userMat, job_.options.readBack)) {
        operator_.AppendLog(L"---> failed to verify !\r\n");
        return RebootOnce(RunEnd::VerifyFailed, 11);
    }
    NextStep(kRebootStep);
    AppendAll({kOk, kNewLine, L"[12] REBOOTING\r\n"});
    const bool rebooted = RebootAttempts();
    operator_.StepEnded(kRebootStep, rebooted);
    operator_.AppendLog(kNewLine);
    operator_.SetStatusText(L"Completed.");
    operator_.EnableControls();
    return Ended(rebooted ? RunEnd::Completed : RunEnd::RebootFailed, kRebootStep);
}
