// velmora-cli write: load the file as the window does, then run the update with the window's
// module, steps and texts, on a thread of its own while the main thread watches for Ctrl-C.
#include <string>

#include "bootmode/mod_update_1527.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/command_paths.h"
#include "cli/exit_codes.h"
#include "cli/interrupt_watch.h"
#include "cli/terminal.h"
#include "image/firmware_file.h"
#include "image/firmware_loading.h"
#include "update/operator_routines.h"
#include "update/update_thread.h"

namespace {

// How often the main thread looks at the run: the progress line's clock and Ctrl-C.
const int kWatchMilliseconds = 200;
// The first step that changes the flash: entering the programming state erases it.
const int kFirstFlashStep = 10;

// The loading reports into the terminal's log; there is no file-name box.
const LoadReports kLoadReports = {AppendLog, AppendLogA, ClearLog, SetStatusText, nullptr};

std::string StepName(int step) {
    return std::string("[") + (step < 10 ? "0" : "") + std::to_string(step) + "]";
}

std::string FlashState(int step) {
    return step >= kFirstFlashStep ? "the board's flash may now be erased or partly written"
                                   : "the board's flash was not touched";
}

// The load's one line for standard error, or empty when it loaded.
std::string LoadFailure(LoadOutcome outcome, const std::string& file) {
    switch (outcome) {
        case LoadOutcome::Loaded:
            return std::string();
        case LoadOutcome::NotOpened:
            return file + ": cannot be opened: no such file, or not readable";
        case LoadOutcome::TooLarge:
            return file + ": too large to load";
        case LoadOutcome::ShortRead:
            return file + ": cannot be read whole";
        case LoadOutcome::NoReader:
            return file + ": no memory for the S-record reader";
        case LoadOutcome::NotParsed:
            return file + ": empty, or too large to parse";
        case LoadOutcome::Refused: {
            // The log's line without its "ERROR : " and its line end.
            std::string refusal = g_srecReader->GetRefusal();
            const std::string prefix = "ERROR : ";
            if (refusal.compare(0, prefix.size(), prefix) == 0) {
                refusal.erase(0, prefix.size());
            }
            while (!refusal.empty() && (refusal.back() == '\r' || refusal.back() == '\n')) {
                refusal.pop_back();
            }
            return file + ": refused: " + refusal;
        }
    }
    return std::string();
}

// Runs the update thread to its end; Ctrl-C stops it before its next frame, a second one cuts
// the way out's waits short as well.
RunOutcome RunUpdate(ModUpdate1527& module, const RunOptions& options) {
    InterruptWatch interrupts;
    UpdateThread run(options);
    if (!run.Start(0)) {
        Complain("cannot start the update's thread");
        return {RunEnd::StepFailed, 1, false};
    }
    int handled = 0;
    while (!run.IsFinished()) {
        const int caught = interrupts.Wait(kWatchMilliseconds);
        if (caught > handled) {
            if (handled == 0) {
                module.Interrupt();
                Complain("stopping before the next frame (Ctrl-C again to stop waiting)");
            } else {
                module.Abort();
            }
            handled = caught;
        }
        RefreshProgress();
    }
    return run.Outcome();
}

int ExitCodeOf(const RunOutcome& outcome, const std::string& port) {
    switch (outcome.end) {
        case RunEnd::Completed:
            return kExitProgrammed;
        case RunEnd::RebootFailed:
            Complain("programmed, but the board did not reboot: reset it by hand");
            return kExitRebootFailed;
        case RunEnd::NoFirmware:
            return kExitFileRefused;
        case RunEnd::VerifyFailed:
        case RunEnd::StepFailed:
            break;
    }
    if (outcome.interrupted) {
        Complain("interrupted during step " + StepName(outcome.step) + ": " +
                 FlashState(outcome.step));
        return kExitInterrupted;
    }
    if (outcome.end == RunEnd::VerifyFailed) {
        Complain("the flash does not hold the image (see the log): program it again");
        return kExitVerifyFailed;
    }
    if (outcome.step == 1) {
        Complain("cannot use the port " + port +
                 ": it does not exist, is busy or is no serial port");
    } else {
        Complain("step " + StepName(outcome.step) +
                 " failed (see the log): " + FlashState(outcome.step));
    }
    return kExitStepFailedBase + outcome.step;
}

}  // namespace

int WriteCommand(const WriteRequest& request) {
    ConsoleOptions options;
    options.quiet = request.quiet;
    options.progressLine = StandardErrorIsTerminal();
    options.logPath = request.logPath;
    options.portName = WideFromUtf8(request.port);
    std::string problem;
    if (!StartConsole(options, &problem)) {
        Complain(problem);
        return kExitUsage;
    }
    // Opened and shown as given: the window's upper-casing would break a case-sensitive path.
    g_firmwarePath = WideFromUtf8(request.file);
    const std::string failure =
        LoadFailure(LoadFirmware(g_firmwarePath, kLoadReports), request.file);
    if (!failure.empty()) {
        StopConsole();
        Complain(failure);
        return kExitFileRefused;
    }
    // Created before the run, so that Ctrl-C finds it however early it comes.
    g_updateModule = new ModUpdate1527();
    RunOptions runOptions;
    runOptions.replyPaced = request.fast;
    runOptions.verify = request.verify;
    const RunOutcome outcome = RunUpdate(*g_updateModule, runOptions);
    // Whatever way out the run took, the port is not left open.
    g_updateModule->CloseCom();
    StopConsole();
    const int code = ExitCodeOf(outcome, request.port);
    delete g_updateModule;
    g_updateModule = nullptr;
    return code;
}
