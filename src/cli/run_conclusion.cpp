// The outcome line of velmora-cli write: the exit code, and the likely cause of a failed step
// from the failure that the run carries, with the terminal's own advice. The log keeps the
// window's texts; these are the terminal's own.
#include "cli/run_conclusion.h"

#include <string>

#include "bootmode/bit_rate_rule.h"
#include "bootmode/boot_protocol.h"
#include "cli/exit_codes.h"
#include "cli/stop_text.h"
#include "image/formatted_text.h"

namespace {

// How a port's lock names another velmora-cli that holds it.
const char kProgramName[] = "velmora-cli";

std::string StepName(Step step) {
    return FormatText("[%02d]", StepNumber(step));
}

std::string FlashState(Step step) {
    // Entering the programming state erases the flash.
    return step >= Step::ProgrammingMode ? "the board's flash may now be erased or partly written"
                                         : "the board's flash was not touched";
}

std::string TryLowerText(int bitRate) {
    const int lower = LowerRateToTry(bitRate);
    return lower > 0 ? FormatText("; try a lower rate, such as --bps %d", lower) : std::string();
}

// Why the step failed, and what to do about it where the terminal knows.
std::string StepFailureText(const RunOutcome& outcome) {
    const StepFailure& failure = outcome.failure;
    switch (failure.cause) {
        case FailureCause::LinkLost:
            return failure.description + " (was the adapter unplugged?)";
        case FailureCause::PortNotOpened:
            if (failure.portProblem.kind == PortProblem::RateRefused) {
                return FormatText("the port cannot run at %d bps: ", outcome.bitRate) +
                       failure.portProblem.detail + TryLowerText(outcome.bitRate);
            }
            if (failure.portProblem.kind != PortProblem::None) {
                return "cannot reopen the port: " + PortProblemText(failure.portProblem);
            }
            break;
        case FailureCause::Refused:
            // The rule let the rate pass, so a refusal is the board's line that cannot carry it.
            if (outcome.step == Step::ChangingBitRate) {
                return failure.description + TryLowerText(outcome.bitRate);
            }
            break;
        case FailureCause::NoAnswer:
            if (outcome.step == Step::ConfirmBitRate) {
                return failure.description + TryLowerText(outcome.bitRate);
            }
            break;
        case FailureCause::TimeBound:
            if (outcome.step == Step::ProgrammingMode) {
                return failure.description +
                       "; a board that erases longer needs a longer --erase-timeout";
            }
            break;
        default:
            break;
    }
    return failure.description;
}

// Who holds a busy port, as far as its lock tells.
std::string HolderText(const PortOpenProblem& problem) {
    if (problem.holderPid <= 0) {
        return "another program holds it";
    }
    const std::string pid = FormatText("pid %ld", problem.holderPid);
    if (problem.detail.empty()) {
        return "the process with " + pid + " holds it";
    }
    return problem.detail + " (" + pid + ")" +
           (problem.detail == kProgramName ? " is programming it" : " holds it");
}

}  // namespace

std::string PortProblemText(const PortOpenProblem& problem) {
    switch (problem.kind) {
        case PortProblem::NoSuchPort:
            return "no such port (velmora-cli ports lists them)";
        case PortProblem::PermissionDenied:
            if (!problem.detail.empty()) {
                return "permission denied: the user is not in the group that owns it (" +
                       problem.detail + "); add the user to it, or run as root";
            }
            return "permission denied: only its owner may open it; run as root";
        case PortProblem::Busy:
            return "busy: " + HolderText(problem);
        case PortProblem::NotSerial:
            return "not a serial port";
        case PortProblem::RateRefused:
            return "it cannot run at the bit rate: " + problem.detail;
        case PortProblem::Other:
            return problem.detail;
        case PortProblem::None:
            break;
    }
    return "it cannot be opened";
}

std::string StartingOverText(Step step, const StepFailure& failure, int bitRate, int retry,
                             int retries) {
    RunOutcome outcome;
    outcome.step = step;
    outcome.failure = failure;
    outcome.bitRate = bitRate;
    return "step " + StepName(step) + " failed: " + StepFailureText(outcome) +
           FormatText(": starting over from [01] (retry %d of %d)", retry, retries);
}

RunConclusion ConcludeRun(const RunOutcome& outcome, StopSignal stop, const std::string& port) {
    const bool programmed = outcome.end == RunEnd::Completed || outcome.end == RunEnd::RebootFailed;
    if (programmed && !outcome.endAcknowledged) {
        return {kExitEndNotAcknowledged, true,
                "the board did not acknowledge the end of programming: it may not start its "
                "program; program it again"};
    }
    if (outcome.end == RunEnd::RebootFailed) {
        return {kExitRebootFailed, true,
                "programmed, but the board did not reboot: reset it by hand"};
    }
    if (outcome.end == RunEnd::Completed) {
        const int blocks = outcome.blocksAcknowledged;
        std::string line =
            FormatText("Completed. %d block%s sent (%d bytes)%s in %.1f s.", blocks,
                       blocks == 1 ? "" : "s", blocks * static_cast<int>(kBlockBytes),
                       outcome.readBack ? ", read back and compared" : "", outcome.seconds);
        if (outcome.verifiedSum) {
            line += FormatText(" The user MAT sums to 0x%08X, as the image does.",
                               *outcome.verifiedSum);
        }
        return {kExitProgrammed, false, line};
    }
    if (outcome.end == RunEnd::NoFirmware) {
        return {kExitFileRefused, true, "no firmware was loaded"};
    }
    if (outcome.interrupted && stop != StopSignal::None) {
        return {StopExitCode(stop), true,
                StopText(stop, StopStage::Stopped) + " during step " + StepName(outcome.step) +
                    ": " + FlashState(outcome.step)};
    }
    if (outcome.end == RunEnd::VerifyFailed && outcome.firstDifference) {
        const ByteDifference& difference = *outcome.firstDifference;
        return {kExitVerifyFailed, true,
                FormatText("the flash does not hold the image: the byte at 0x%08X reads 0x%02X, "
                           "the image has 0x%02X; program it again",
                           difference.address, difference.flash, difference.image)};
    }
    if (outcome.end == RunEnd::VerifyFailed) {
        return {kExitVerifyFailed, true,
                "the flash does not hold the image: " + outcome.failure.description +
                    "; program it again"};
    }
    // Programming ended, and only the check after it failed.
    if (outcome.step == Step::Programming && outcome.endAcknowledged) {
        return {StepFailedExitCode(outcome.step), true,
                "step " + StepName(outcome.step) + " failed: " + StepFailureText(outcome) +
                    ": every block was programmed, but the flash could not be checked; program "
                    "it again"};
    }
    if (outcome.step == Step::ConnectTest && outcome.failure.cause != FailureCause::LinkLost) {
        return {
            StepFailedExitCode(Step::ConnectTest), true,
            "cannot use the port " + port + ": " + PortProblemText(outcome.failure.portProblem)};
    }
    return {StepFailedExitCode(outcome.step), true,
            "step " + StepName(outcome.step) + " failed: " + StepFailureText(outcome) + ": " +
                FlashState(outcome.step)};
}
