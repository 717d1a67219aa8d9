// velmora-cli write: load the file as the window does, then run the update with the window's
// module, steps and texts, on a thread of its own while the main thread watches for stops, and
// end the log with the outcome.
#include <chrono>
#include <string>

#include "bootmode/mod_update_1527.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "serial/text_conversion.h"
#include "cli/exit_codes.h"
#include "cli/interrupt_watch.h"
#include "cli/run_conclusion.h"
#include "cli/terminal.h"
#include "image/firmware_file.h"
#include "image/firmware_loading.h"
#include "update/operator_routines.h"
#include "update/update_thread.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often the main thread looks at the run: the progress line's clock and Ctrl-C.
const int kWatchMilliseconds = 200;

// The loading reports into the terminal's log; there is no file-name box.
const LoadReports kLoadReports = {AppendLog, AppendLogA, ClearLog, SetStatusText, nullptr};

// The load's one line for standard error, or empty when it loaded something to program.
std::string LoadFailure(LoadOutcome outcome, const std::string& file) {
    switch (outcome) {
        case LoadOutcome::Loaded:
            // The window takes such a file as loaded; a write would erase the board for nothing.
            return HoldsFirmwareData(*g_srecReader)
                       ? std::string()
                       : file + ": holds no S1/S2/S3 data record: nothing to program";
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

std::string StoppingText(StopSignal stop) {
    switch (stop) {
        case StopSignal::HangUp:
            return "hung up: stopping before the next frame";
        case StopSignal::Terminate:
            return "SIGTERM: stopping before the next frame (a second one stops waiting)";
        default:
            return "stopping before the next frame (Ctrl-C again to stop waiting)";
    }
}

// Runs the update thread to its end; a stop request ends it before its next frame, a second one
// cuts the way out's waits short as well.
RunOutcome RunUpdate(ModUpdate1527& module, const RunOptions& options, InterruptWatch& interrupts) {
    UpdateThread run(options);
    if (!run.Start(0)) {
        RunOutcome failed;
        failed.end = RunEnd::StepFailed;
        failed.step = 1;
        Complain("cannot start the update's thread");
        return failed;
    }
    int handled = 0;
    while (!run.IsFinished()) {
        const int caught = interrupts.Wait(kWatchMilliseconds);
        if (caught > handled) {
            if (handled == 0) {
                module.Interrupt();
                Complain(StoppingText(interrupts.First()));
            } else {
                module.Abort();
            }
            handled = caught;
        }
        RefreshProgress();
    }
    return run.Outcome();
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
        Conclude(failure, true);
        StopConsole();
        return kExitFileRefused;
    }
    // Watching before the run's threads start, and until the port is closed.
    InterruptWatch interrupts;
    // Created before the run, so that a stop finds it however early it comes.
    g_updateModule = new ModUpdate1527();
    RunOptions runOptions;
    runOptions.replyPaced = request.fast;
    runOptions.verify = request.verify || request.readBack;
    runOptions.readBack = request.readBack;
    const Clock::time_point started = Clock::now();
    const RunOutcome outcome = RunUpdate(*g_updateModule, runOptions, interrupts);
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    // Whatever way out the run took, the port is not left open.
    g_updateModule->CloseCom();
    interrupts.WayOutDone();
    const RunConclusion conclusion =
        ConcludeRun(outcome, interrupts.First(), request.port, seconds);
    Conclude(conclusion.text, conclusion.failure);
    StopConsole();
    delete g_updateModule;
    g_updateModule = nullptr;
    return conclusion.exitCode;
}
