// The update run: the worker thread that drives the update module through the twelve numbered
// steps and reports each of them to the operator.
#pragma once

#include <cstdint>
#include <optional>

#include "bootmode/mod_update_1527.h"
#include "serial/custom_thread.h"
#include "serial/rs232c_port.h"

// How a run ended, for a front end that reports more than the log (the window shows the log only).
enum class RunEnd {
    NoFirmware,    // nothing was loaded: the run ended before [01]
    StepFailed,    // `step` ([01] to [11]) failed and the run took its way out
    VerifyFailed,  // programmed, but the flash does not hold the image (the verify option)
    Completed,     // programmed, and a reboot attempt succeeded
    RebootFailed   // programmed, but every reboot attempt failed
};

// What a run does beyond the window's design; the window runs with neither.
struct RunOptions {
    // Transactions end as soon as their replies are complete (ModuleOptions::replyPaced).
    bool replyPaced = false;
    // The user MAT's extent is checked before the erase, and its sum after programming.
    bool verify = false;
    // With verify: every block sent is also read back and compared.
    bool readBack = false;
};

struct RunOutcome {
    RunEnd end = RunEnd::NoFirmware;
    int step = 0;
    bool interrupted =
        false;  // the module was interrupted during the run (ModUpdate1527::Interrupt)
    // What the module leaves to explain the outcome.
    int blocksAcknowledged = 0;
    bool endAcknowledged = false;
    std::optional<uint32_t> verifiedSum;
    std::optional<ByteDifference> firstDifference;
    bool lostTheLink = false;
    BoardExchange exchange;
    PortOpenProblem portProblem;
};

class UpdateThread : public CustomThread {
public:
    explicit UpdateThread(const RunOptions& options = RunOptions());

    void PreRun() override;
    // The parameter is not used.
    void Run(int32_t param) override;
    // Read by the owner once the run has finished (IsFinished or WaitUntilFinished).
    RunOutcome Outcome() const;

private:
    RunOutcome RunSteps();

    const RunOptions options_;
    RunOutcome outcome_;
};

// The thread object of the latest Write; replaced by the next one, written by the main thread.
extern UpdateThread* g_updateThread;
// The one module, created by the first run and reused by every later one.
extern ModUpdate1527* g_updateModule;

// True from the start of a run until its thread has finished with the module and the dialog.
bool IsUpdateRunning();
