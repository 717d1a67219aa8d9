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
#include "image/formatted_text.h"
#include "serial/text_conversion.h"
#include "update/operator.h"
#include "update/step_headers.h"

namespace {

const wchar_t kOk[] = L"----> Ok.\r\n";
const wchar_t kFailed[] = L"----> Failed\r\n";
const wchar_t kNewLine[] = L"\r\n";
const int kRebootAttempts = 6;

}  // namespace

UpdateThread::UpdateThread(ModUpdate1527& module, Operator& reports, const UpdateJob& job)
    : module_(module), operator_(reports), job_(job) {}

void UpdateThread::PreRun() {}

void UpdateThread::Run(int32_t) {
    // The module's clock: a run against a simulated board in process takes virtual time.
    WaitClock& clock = module_.Clock();
    const std::chrono::nanoseconds started = clock.Now();
    outcome_ = RunSteps();
    // The module may outlive the operator: it reports to nobody between runs.
    module_.SetReports(nullptr);
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

void UpdateThread::NextStep(Step step) {
    if (step_ != Step::None) {
        operator_.StepEnded(step_, true);
    }
    step_ = step;
    operator_.StepStarted(step);
}

void UpdateThread::AppendHeader(Step step) {
    operator_.AppendLog(StepHeader(step, bitRate_).c_str());
}

RunOutcome UpdateThread::Ended(RunEnd end, const StepFailure& failure) {
    RunOutcome outcome;
    outcome.end = end;
    outcome.step = step_;
    outcome.failure = failure;
    outcome.bitRate = bitRate_;
    outcome.blocksAcknowledged = module_.BlocksAcknowledged();
    outcome.endAcknowledged = module_.EndOfProgrammingAcknowledged();
    outcome.verifiedSum = module_.VerifiedSum();
    outcome.firstDifference = module_.FirstDifference();
    return outcome;
}

StepFailure UpdateThread::RunFailure(FailureCause cause, const std::string& description) const {
    StepFailure failure;
    failure.step = step_;
    failure.cause = cause;
    failure.description = description;
    return failure;
}

RunOutcome UpdateThread::Stop(const StepFailure& failure, bool reboot) {
    const RunOutcome outcome = Ended(RunEnd::StepFailed, failure);
    operator_.StepEnded(step_, false);
    operator_.SetMarquee(false);
    module_.CloseCom();
    if (reboot) {
        module_.Reboot();
    }
    operator_.EnableControls();
    return outcome;
}

RunOutcome UpdateThread::Stop() {
    return Stop(module_.Failure(), false);
}

RunOutcome UpdateThread::StopAndReboot() {
    return Stop(module_.Failure(), true);
}

RunOutcome UpdateThread::StopAndReboot(const StepFailure& failure) {
    return Stop(failure, true);
}

RunOutcome UpdateThread::RebootOnce(RunEnd end) {
    const RunOutcome outcome = Ended(end, module_.Failure());
    operator_.StepEnded(step_, false);
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
                      static_cast<int>(i + 1), AnsiToWide(list.entries[i].name).c_str());
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

// Once the device is selected: the user MAT's areas, and the image inside them; logged with the
// verify option, and when the inquiry fails or the image does not fit.
StepFailure UpdateThread::CheckUserMat(std::vector<FlashArea>& areas) {
    if (!module_.InquireUserMat(areas)) {
        operator_.AppendLog(L"---> failed to inquire the user MAT !\r\n");
        return module_.Failure();
    }
    const bool fits = DataLiesWithin(*job_.image, areas);
    // A run that fits logs what the window's would, unless it is verified.
    if (job_.options.verify || !fits) {
        for (const FlashArea& area : areas) {
            wchar_t line[64];
            std::swprintf(line, sizeof(line) / sizeof(line[0]),
                          L"---> user MAT : 0x%08X - 0x%08X\r\n", area.first, area.last);
            operator_.AppendLog(line);
        }
    }
    if (!fits) {
        operator_.AppendLog(L"---> the image does not fit the user MAT !\r\n");
        return RunFailure(FailureCause::ImageDoesNotFit,
                          "the image does not fit the user MAT that the board reports (see the "
                          "log)");
    }
    return StepFailure();
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
    module.SetReports(&operator_);
    ModuleOptions moduleOptions;
    moduleOptions.replyPaced = job_.options.replyPaced;
    moduleOptions.verify = job_.options.verify;
    moduleOptions.documentedEndFrame = job_.options.documentedEndFrame;
    moduleOptions.eraseTimeoutMilliseconds = job_.options.eraseTimeoutMilliseconds;
    moduleOptions.resendChecksumRefusals = job_.options.resendChecksumRefusals;
    module.SetOptions(moduleOptions);

    std::vector<int> rates = job_.options.bitRates.empty() ? std::vector<int>{kProgrammingBitRate}
                                                           : job_.options.bitRates;
    if (job_.options.skipRefusedBitRates) {
        const std::optional<RunOutcome> refused = DropRefusedBitRates(rates);
        if (refused) {
            return *refused;
        }
    }
    // Entering boot mode again resets the board: nothing has been erased before [10]. A link that
    // does not come up falls back to the next rate while there is one, which is no retry; one
    // budget of retries serves every rate.
    size_t rate = 0;
    int retries = 0;
    for (int attempt = 1;; ++attempt) {
        RunOutcome outcome = RunAttempt(rates[rate]);
        outcome.fallbacks = static_cast<int>(rate);
        outcome.attempts = attempt;
        if (outcome.end != RunEnd::StepFailed || module.Interrupted()) {
            return outcome;
        }
        const bool linkFailed =
            outcome.step == Step::ChangingBitRate || outcome.step == Step::ConfirmBitRate;
        // A rate that passes the one-byte confirmation may still spoil whole frames; [10] erases
        // again before anything is programmed at the next rate.
        const bool blocksLost = rates[rate] > kProgrammingBitRate && BlockLost(outcome);
        const bool lower = rate + 1 < rates.size();
        if (linkFailed && lower) {
            AppendNumbered(L"---> the link did not come up at %d BPS: ", rates[rate]);
            AppendNumbered(L"starting over at %d BPS\r\n\r\n", rates[rate + 1]);
            operator_.BitRateFellBack(outcome.step, rates[rate], rates[rate + 1]);
            ++rate;
        } else if (blocksLost && lower) {
            AppendNumbered(L"---> the blocks did not get through at %d BPS: ", rates[rate]);
            AppendNumbered(L"starting over at %d BPS, erasing again\r\n\r\n", rates[rate + 1]);
            operator_.BitRateFellBack(outcome.step, rates[rate], rates[rate + 1]);
            ++rate;
        } else if (retries < job_.options.retries && WorthRetrying(outcome)) {
            ++retries;
            AppendNumbered(L"---> starting over from [01]: retry %d ", retries);
            AppendNumbered(L"of %d\r\n\r\n", job_.options.retries);
            operator_.StartingOver(outcome.step, outcome.failure, retries, job_.options.retries);
        } else {
            return outcome;
        }
        operator_.SetMarquee(true);
        step_ = Step::None;
    }
}

std::optional<RunOutcome> UpdateThread::DropRefusedBitRates(std::vector<int>& rates) {
    const std::string portName = WideToAnsi(job_.portName.c_str());
    const std::vector<RefusedBitRate> refused = module_.BitRatesRefused(portName.c_str(), rates);
    if (refused.empty()) {
        return std::nullopt;
    }
    for (const RefusedBitRate& rate : refused) {
        AppendNumbered(L"---> the port does not run at %d BPS: ", rate.bitRate);
        operator_.AppendLogA((rate.detail + "\r\n").c_str());
        rates.erase(std::remove(rates.begin(), rates.end(), rate.bitRate), rates.end());
    }
    if (rates.empty()) {
        // Where the rate would have been set, as when the port refuses it there.
        step_ = Step::ChangingBitRate;
        bitRate_ = refused.front().bitRate;
        StepFailure failure = RunFailure(FailureCause::PortNotOpened,
                                         FormatText("the port cannot run at %d bps", bitRate_));
        failure.portProblem = {PortProblem::RateRefused, refused.front().detail};
        RunOutcome outcome;
        outcome.end = RunEnd::StepFailed;
        outcome.step = step_;
        outcome.failure = failure;
        outcome.bitRate = bitRate_;
        operator_.SetMarquee(false);
        operator_.EnableControls();
        return outcome;
    }
    for (const RefusedBitRate& rate : refused) {
        operator_.BitRateSkipped(rate.bitRate, rate.detail, rates.front());
    }
    AppendNumbered(L"---> starting at %d BPS\r\n\r\n", rates.front());
    return std::nullopt;
}

bool UpdateThread::BlockLost(const RunOutcome& outcome) {
    const StepFailure& failure = outcome.failure;
    if (outcome.step != Step::Programming || failure.sent.size() != kBlockFrameBytes ||
        failure.sent[0] != kProgrammingCommand) {
        return false;
    }
    const bool checksumRefused = failure.reply.size() >= 2 &&
                                 failure.reply[0] == kProgrammingError &&
                                 failure.reply[1] == kChecksumDetail;
    return failure.cause == FailureCause::NoAnswer || checksumRefused;
}

bool UpdateThread::WorthRetrying(const RunOutcome& outcome) {
    if (outcome.step == Step::None || outcome.step >= Step::ProgrammingMode) {
        return false;
    }
    switch (outcome.failure.cause) {
        // What the board lists, what the image needs and the port's own problems stay the same.
        case FailureCause::NoSupportedDevice:
        case FailureCause::ImageDoesNotFit:
        case FailureCause::NotStarted:
        case FailureCause::Stopped:
            return false;
        case FailureCause::PortNotOpened:
            return outcome.failure.portProblem.kind == PortProblem::None ||
                   outcome.failure.portProblem.kind == PortProblem::Other;
        default:
            return true;
    }
}

RunOutcome UpdateThread::RunAttempt(int bitRate) {
    bitRate_ = bitRate;
    ModUpdate1527& module = module_;
    UpdateModule& update = module;
    const std::string portName = WideToAnsi(job_.portName.c_str());

    NextStep(Step::ConnectTest);
    AppendHeader(Step::ConnectTest);
    AppendAll({job_.portName.c_str(), kNewLine});
    if (!update.OpenCom(portName.c_str())) {
        operator_.AppendLog(kFailed);
        return Stop();
    }
    NextStep(Step::BootMode);
    AppendAll({kOk, kNewLine});
    AppendHeader(Step::BootMode);
    if (!module.SetBootMode(operator_.IsCharacterCommandChecked())) {
        operator_.AppendLog(kFailed);
        return StopAndReboot();
    }
    NextStep(Step::Approval);
    AppendAll({kOk, kNewLine});
    AppendHeader(Step::Approval);
    if (!module.ConnectApprove()) {
        operator_.AppendLog(kFailed);
        return StopAndReboot();
    }
    NextStep(Step::SupportModeCheck);
    AppendAll({kOk, kNewLine});
    AppendHeader(Step::SupportModeCheck);
    DeviceList devices;
    if (!module.InquireDevices(devices)) {
        operator_.AppendLog(kFailed);
        return StopAndReboot();
    }
    const DeviceEntry* chosen = ChooseDevice(devices);
    if (chosen == nullptr) {
        AppendAll({L"---> no supported mode found !\r\n", L"STOP.\r\n"});
        return StopAndReboot(
            RunFailure(FailureCause::NoSupportedDevice,
                       FormatText("the board lists no device named %s", kSupportedDeviceName)));
    }
    NextStep(Step::ProgrammingModeInquiry);
    AppendAll({kOk, kNewLine});
    AppendHeader(Step::ProgrammingModeInquiry);
    std::vector<uint16_t> modes;
    if (!module.InquireProgrammingModes(modes)) {
        operator_.AppendLog(L"---> programing modes not found !\r\n");
        return StopAndReboot();
    }
    NextStep(Step::DeviceSelection);
    AppendAll({kOk, kNewLine});
    AppendHeader(Step::DeviceSelection);
    DeviceEntry selected = {};
    std::memcpy(&selected, chosen, sizeof(selected));
    if (!module.SelectDevice(selected)) {
        operator_.AppendLog(L"---> programing modes not found !\r\n");
        return StopAndReboot();
    }
    std::vector<FlashArea> userMat;
    if (job_.options.checkUserMat || job_.options.verify) {
        const StepFailure misfit = CheckUserMat(userMat);
        if (misfit.cause != FailureCause::None) {
            return StopAndReboot(misfit);
        }
    }
    NextStep(Step::ClockModeSet);
    AppendAll({kOk, kNewLine});
    AppendHeader(Step::ClockModeSet);
    if (!module.SetClockMode(kDefaultClockMode)) {
        operator_.AppendLog(L"---> failed to set default clock mode !\r\n");
        return StopAndReboot();
    }
    NextStep(Step::ChangingBitRate);
    AppendAll({kOk, kNewLine});
    AppendHeader(Step::ChangingBitRate);
    const std::vector<uint8_t> bitRateBlock = BitRateParameters(bitRate);
    if (!module.SelectBPS(bitRateBlock.data())) {
        operator_.AppendLog(L"---> failed to change BPS command !\r\n");
        return Stop();
    }
    operator_.AppendLog(kOk);
    AppendNumbered(L"... reconnecting to %d BPS \r\n", bitRate);
    if (!module.ChangeBPS(bitRate)) {
        operator_.AppendLog(L"---> failed to change BPS!\r\n");
        return Stop();
    }
    NextStep(Step::ConfirmBitRate);
    AppendAll({kOk, kNewLine});
    AppendHeader(Step::ConfirmBitRate);
    if (!module.ConfirmBPS()) {
        operator_.AppendLog(L"---> failed to confirm BPS !\r\n");
        return Stop();
    }
    NextStep(Step::ProgrammingMode);
    AppendAll({kOk, kNewLine});
    AppendHeader(Step::ProgrammingMode);
    if (!module.SetProgrammingMode()) {
        AppendAll({L"---> failed to set programming mode !\r\n", L"\r\n[information]\r\n",
                   L"retry to update if failed in this sequence.\r\n"});
        return Stop();
    }
    operator_.AppendLog(kOk);
    operator_.SetMarquee(false);
    NextStep(Step::Programming);
    operator_.AppendLog(kNewLine);
    AppendHeader(Step::Programming);
    AppendAll({kNewLine, L"... wait for done ...\r\n", kNewLine});
    if (!module.ProgramImage(*job_.image)) {
        operator_.AppendLog(L"---> failed to programming !\r\n");
        return RebootOnce(RunEnd::StepFailed);
    }
    if (job_.options.verify && !module.VerifyUserMat(*job_.image, userMat, job_.options.readBack)) {
        operator_.AppendLog(L"---> failed to verify !\r\n");
        // Only a comparison that found a difference says that the flash does not hold the image;
        // a verification that could not compare fails the step for its own reason.
        return RebootOnce(module.Failure().cause == FailureCause::FlashDiffers
                              ? RunEnd::VerifyFailed
                              : RunEnd::StepFailed);
    }
    NextStep(Step::Rebooting);
    AppendAll({kOk, kNewLine});
    AppendHeader(Step::Rebooting);
    const bool rebooted = RebootAttempts();
    operator_.StepEnded(Step::Rebooting, rebooted);
    operator_.AppendLog(kNewLine);
    operator_.SetStatusText(L"Completed.");
    operator_.EnableControls();
    RunOutcome outcome = rebooted ? Ended(RunEnd::Completed, StepFailure())
                                  : Ended(RunEnd::RebootFailed, module_.Failure());
    outcome.readBack = job_.options.readBack;
    return outcome;
}
