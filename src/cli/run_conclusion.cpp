// The outcome line of velmora-cli write: the exit code, and the likely cause of a failed step
// from the last exchange with the board. The log keeps the window's texts; these are the
// terminal's own.
#include "cli/run_conclusion.h"

#include <cstdio>
#include <string>
#include <vector>

#include "bootmode/bit_rate_rule.h"
#include "bootmode/boot_frame.h"
#include "bootmode/boot_protocol.h"
#include "bootmode/reply_meaning.h"
#include "bootmode/reply_shape.h"
#include "bootmode/report_text.h"
#include "cli/exit_codes.h"

namespace {

// The first step that changes the flash: entering the programming state erases it.
const int kFirstFlashStep = 10;
// Reply bytes shown in a line; a longer reply is cut with "...".
const size_t kShownReplyBytes = 8;
// An error reply is the command with its top bit set, then the error code.
const uint8_t kErrorBit = 0x80;
// How a port's lock names another velmora-cli that holds it.
const char kProgramName[] = "velmora-cli";

std::string StepName(int step) {
    return FormatText("[%02d]", step);
}

std::string FlashState(int step) {
    return step >= kFirstFlashStep ? "the board's flash may now be erased or partly written"
                                   : "the board's flash was not touched";
}

std::string ByteList(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size() && i < kShownReplyBytes; ++i) {
        text += (i == 0 ? "" : " ") + FormatText("0x%02X", bytes[i]);
    }
    return bytes.size() > kShownReplyBytes ? text + " ..." : text;
}

// What was sent, in words: the command, or for a programming frame the block's address.
std::string SentName(const std::vector<uint8_t>& sent) {
    if (sent.size() == kBlockFrameBytes && sent[0] == kProgrammingCommand) {
        return FormatText("the block at 0x%08X", ReadBigEndian32(sent.data() + 1));
    }
    return CommandName(sent[0]);
}

// How the board answered the last frame: nothing, an error reply with its meaning, or bytes.
std::string AnswerText(const BoardExchange& exchange) {
    if (exchange.sent.empty()) {
        return "nothing was sent to the board";
    }
    const std::string name = SentName(exchange.sent);
    const std::vector<uint8_t>& reply = exchange.reply;
    if (reply.empty()) {
        return "no answer to " + name;
    }
    if (reply.size() >= 2 && reply[0] == (exchange.sent[0] | kErrorBit)) {
        const char* meaning = ErrorMeaning(reply[1]);
        return name + " was answered " + ByteList({reply[0], reply[1]}) + ": " +
               (meaning != nullptr ? meaning : "an error the boot program does not document");
    }
    return name + " was answered " + ByteList(reply);
}

uint8_t SentCommand(const BoardExchange& exchange) {
    return exchange.sent.empty() ? 0 : exchange.sent[0];
}

bool Starts(const std::vector<uint8_t>& reply, uint8_t first) {
    return !reply.empty() && reply[0] == first;
}

std::string MatchingText() {
    return FormatText(
        "the board did not answer the bit-rate matching (%u bytes 0x00 at 9600 bps): "
        "check the board's power, its boot-mode pins, the cable and the port",
        static_cast<unsigned>(kMatchingAttempts));
}

std::string ApprovalText(const RunOutcome& outcome) {
    const BoardExchange& exchange = outcome.exchange;
    if (SentCommand(exchange) == kHandshake && !exchange.reply.empty()) {
        return "the board answered the handshake 0x55 with " + ByteList(exchange.reply) +
               ", not 0xE6";
    }
    if (SentCommand(exchange) == kHandshake) {
        return "the board did not answer the handshake 0x55";
    }
    return MatchingText();
}

std::string ProgrammingStateText(const BoardExchange& exchange) {
    const uint8_t command = SentCommand(exchange);
    const std::vector<uint8_t>& reply = exchange.reply;
    if (command == kProgrammingTransition && reply.empty()) {
        return FormatText(
            "no ACK to the programming/erasing state transition (0x40) within %u s: "
            "the erase ran past its bound",
            static_cast<unsigned>(kTransitionDelay / 1000));
    }
    if (command == kStatusInquiry && Starts(reply, kStatusReply) &&
        reply.size() >= kShortestStatusReply) {
        const char* meaning = ErrorMeaning(reply[3]);
        return FormatText("the boot program status inquiry (0x4F) reported status 0x%02X",
                          reply[2]) +
               FormatText(" and error 0x%02X", reply[3]) +
               (meaning != nullptr ? std::string(": ") + meaning : std::string()) +
               ", not status 0x3F without error";
    }
    return AnswerText(exchange);
}

// A rate to try when the link does not come up at `bitRate`: the next that --bps max tries, or
// below those the nearest the board takes.
int LowerBitRate(int bitRate) {
    for (const int rate : kFastestBitRates) {
        if (rate < bitRate) {
            return rate;
        }
    }
    return NearestAcceptedRates(bitRate).below;
}

std::string TryLowerText(int bitRate) {
    const int lower = LowerBitRate(bitRate);
    return lower > 0 ? FormatText("; try a lower rate, such as --bps %d", lower) : std::string();
}

// Why step `outcome.step` failed.
std::string StepFailureText(const RunOutcome& outcome) {
    const BoardExchange& exchange = outcome.exchange;
    if (outcome.lostTheLink) {
        return "the port's device went away (was the adapter unplugged?)";
    }
    if (outcome.portProblem.kind == PortProblem::RateRefused) {
        return FormatText("the port cannot run at %d bps: ", outcome.bitRate) +
               outcome.portProblem.detail + TryLowerText(outcome.bitRate);
    }
    if (outcome.portProblem.kind != PortProblem::None) {
        return "cannot reopen the port: " + PortProblemText(outcome.portProblem);
    }
    switch (outcome.step) {
        case 2:
            return "the port did not come back after the connection test";
        case 3:
            return ApprovalText(outcome);
        case 4:
            if (Starts(exchange.reply, kDeviceReply) &&
                ReplyComplete(ReplyShape::Inquiry, exchange.reply)) {
                return std::string("the board lists no device named ") + kSupportedDeviceName;
            }
            break;
        case 6:
            if (SentCommand(exchange) == kUserMatInquiry && Starts(exchange.reply, kUserMatReply)) {
                return "the image does not fit the user MAT that the board reports (see the log)";
            }
            break;
        case 8:
            if (SentCommand(exchange) == kNewBitRateSelection && Starts(exchange.reply, kAck)) {
                return FormatText("the port did not reopen at %d bps", outcome.bitRate);
            }
            // The rule let the rate pass, so a refusal is the board's line that cannot carry it.
            if (SentCommand(exchange) == kNewBitRateSelection && !exchange.reply.empty()) {
                return AnswerText(exchange) + TryLowerText(outcome.bitRate);
            }
            break;
        case 9:
            if (exchange.reply.empty()) {
                return FormatText(
                           "the board did not confirm the new bit rate: no ACK to 0x06 at %d bps",
                           outcome.bitRate) +
                       TryLowerText(outcome.bitRate);
            }
            break;
        case 10:
            return ProgrammingStateText(exchange);
        default:
            break;
    }
    return AnswerText(exchange);
}

std::string StopText(StopSignal stop) {
    switch (stop) {
        case StopSignal::HangUp:
            return "stopped by SIGHUP (the terminal went away)";
        case StopSignal::Terminate:
            return "stopped by SIGTERM";
        default:
            return "interrupted";
    }
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
        std::string line = FormatText(
            "Completed. %d blocks sent (%d bytes) in %.1f s.", outcome.blocksAcknowledged,
            outcome.blocksAcknowledged * static_cast<int>(kBlockBytes), outcome.seconds);
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
        return {kExitSignalBase + static_cast<int>(stop), true,
                StopText(stop) + " during step " + StepName(outcome.step) + ": " +
                    FlashState(outcome.step)};
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
                "the flash does not hold the image (see the log): program it again"};
    }
    if (outcome.step == 1 && !outcome.lostTheLink) {
        return {kExitStepFailedBase + 1, true,
                "cannot use the port " + port + ": " + PortProblemText(outcome.portProblem)};
    }
    return {kExitStepFailedBase + outcome.step, true,
            "step " + StepName(outcome.step) + " failed: " + StepFailureText(outcome) + ": " +
                FlashState(outcome.step)};
}
