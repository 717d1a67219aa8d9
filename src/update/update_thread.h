// The update run: the worker thread that drives the update module through the twelve numbered
// steps and reports each of them to the operator.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bootmode/boot_protocol.h"
#include "bootmode/device_list.h"
#include "bootmode/mod_update_1527.h"
#include "bootmode/step_failure.h"
#include "bootmode/update_step.h"
#include "serial/custom_thread.h"
#include "serial/rs232c_port.h"

class Operator;

// How a run ended, for a front end that reports more than the log (the window shows the log only).
enum class RunEnd {
    NoFirmware,    // nothing was loaded: the run ended before [01]
    StepFailed,    // `step` ([01] to [11]) failed, for `failure`, and the run took its way out
    VerifyFailed,  // programmed, but the flash does not hold the image (the verify option)
    Completed,     // programmed, and a reboot attempt succeeded
    RebootFailed   // programmed, but every reboot attempt failed
};

// What a run does beyond the window's design; the window runs with none of it.
struct RunOptions {
    // Transactions end as soon as their replies are complete (ModuleOptions::replyPaced).
    bool replyPaced = false;
    // Programming ends with the documented end frame (ModuleOptions::documentedEndFrame).
    bool documentedEndFrame = false;
    // The longest wait for the erase's ACK (ModuleOptions::eraseTimeoutMilliseconds).
    int eraseTimeoutMilliseconds = kTransitionDelay;
    // A block refused for its checksum is sent once more (ModuleOptions::resendChecksumRefusals).
    bool resendChecksumRefusals = false;
    // The user MAT's extent is asked for once the device is selected, and an image that does not
    // fit it is refused there, before anything is erased.
    bool checkUserMat = false;
    // The user MAT's extent is checked and logged before the erase, and its sum after programming.
    bool verify = false;
    // With verify: every block sent is also read back and compared.
    bool readBack = false;
    // The rates [08] moves the link to, in turn: while the link does not come up at one ([08] or
    // [09] fails), the run starts over from [01] at the next; with more than one, also when a
    // block does not get through above the window's rate. The window's is 38400 alone.
    std::vector<int> bitRates = {kProgrammingBitRate};
    // Before [01] the port's driver is asked which of bitRates it runs: the others are dropped,
    // each said, and a run left with none fails at [08] before anything reaches the board.
    bool skipRefusedBitRates = false;
    // How many times in all the run starts over from [01] after a failure before the erase that a
    // new attempt may not meet again; a fall back to the next rate is not one of them.
    int retries = 0;
};

struct RunOutcome {
    RunEnd end = RunEnd::NoFirmware;
    Step step = Step::None;  // the step the run ended at
    // Why it ended there, as the module or the run made it: StepFailed, VerifyFailed and
    // RebootFailed; cause None otherwise.
    StepFailure failure;
    bool interrupted =
        false;           // the module was interrupted during the run (ModUpdate1527::Interrupt)
    double seconds = 0;  // from the run's start to its end
    int bitRate = 0;     // the rate the last attempt moves the link to at [08]
    int fallbacks = 0;   // attempts that started over at a lower rate
    int attempts = 0;    // starts from [01]: the first, each fallback and each retry
    // What the module leaves to explain the outcome.
    int blocksAcknowledged = 0;
    bool endAcknowledged = false;
    std::optional<uint32_t> verifiedSum;
    bool readBack = false;  // every block sent was read back and matched the image
    std::optional<ByteDifference> firstDifference;
};

// What one run works on besides its module and its operator.
struct UpdateJob {
    std::wstring portName;  // as the log shows it; opened in its 8-bit form
    // The loaded firmware, laid once and shared by every board's run; none: nothing is loaded.
    std::shared_ptr<const FirmwareImage> image;
    RunOptions options;
};

// One run of the update sequence on a thread of its own, over the module, the operator and the
// job it is handed; it reads no process-wide state. The module may serve run after run; it and the
// operator outlive the thread, and the job's copy keeps the image.
class UpdateThread : public CustomThread {
public:
    UpdateThread(ModUpdate1527& module, Operator& reports, const UpdateJob& job);

    void PreRun() override;
    // The parameter is not used.
    void Run(int32_t param) override;
    // Read by the owner once the run has finished (IsFinished or WaitUntilFinished).
    RunOutcome Outcome() const;

private:
    RunOutcome RunSteps();
    // Drops from `rates` those the port's driver does not run; a run left with none ends here,
    // failed at [08].
    std::optional<RunOutcome> DropRefusedBitRates(std::vector<int>& rates);
    // Whether a new attempt may succeed where this one failed, with nothing erased yet.
    static bool WorthRetrying(const RunOutcome& outcome);
    // Whether [11] failed for a block that the line spoilt or lost: refused for its checksum
    // after its resend, or never answered.
    static bool BlockLost(const RunOutcome& outcome);
    // Steps [01] to [12], with the link moved to `bitRate` at [08].
    RunOutcome RunAttempt(int bitRate);
    void AppendAll(std::initializer_list<const wchar_t*> texts);
    // The log text with its one %d filled in.
    void AppendNumbered(const wchar_t* format, int number);
    // Closes the step under way as passed and begins the next, whose header follows.
    void NextStep(Step step);
    // The step's header, with the rate of the attempt under way.
    void AppendHeader(Step step);
    // What the module tells of a run that ended at the step under way, for `failure`, taken
    // before a way out talks to the board.
    RunOutcome Ended(RunEnd end, const StepFailure& failure);
    // A failure that the run itself decides, at the step under way.
    StepFailure RunFailure(FailureCause cause, const std::string& description) const;
    // Ways out of a failed step; without a failure, the module's.
    RunOutcome Stop(const StepFailure& failure, bool reboot);
    RunOutcome Stop();
    RunOutcome StopAndReboot();
    RunOutcome StopAndReboot(const StepFailure& failure);
    RunOutcome RebootOnce(RunEnd end);
    const DeviceEntry* ChooseDevice(const DeviceList& list);
    bool RebootAttempts();
    // The verify option's check; a failure with cause None when the image fits.
    StepFailure CheckUserMat(std::vector<FlashArea>& areas);

    ModUpdate1527& module_;
    Operator& operator_;
    const UpdateJob job_;
    Step step_ = Step::None;
    int bitRate_ = 0;  // the rate of the attempt under way
    RunOutcome outcome_;
};
