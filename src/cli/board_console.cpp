// One board's console. Without a label its log goes to standard output as it comes, which is the
// window's log with this system's line ends; with several boards each line is prefixed with its
// port; with --json each line is a log object.
//
// Threads: the board's update thread calls the operator's routines, the main thread loads,
// concludes and closes; every member is used under the streams' lock, which also keeps the
// boards' output apart.
#include "cli/board_console.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "cli/streams.h"
#include "serial/text_conversion.h"
#include "update/step_headers.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string WithoutLineEnds(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.pop_back();
    }
    return line;
}

std::string Trimmed(const std::string& text) {
    std::string line = WithoutLineEnds(text);
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

// The window's CR LF as this system's line end.
std::string WithSystemLineEnds(const std::string& text) {
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        lines += text[i];
    }
    return lines;
}

}  // namespace

BoardConsole::BoardConsole(Streams& streams, const BoardOutput& output)
    : streams_(streams), output_(output), started_(Clock::now()), bitRate_(output.bitRate) {}

BoardConsole::~BoardConsole() {
    Close();
}

bool BoardConsole::OpenLog(std::string* error) {
    if (output_.logPath.empty()) {
        return true;
    }
    logFile_ = std::fopen(output_.logPath.c_str(), "wb");
    if (logFile_ == nullptr) {
        *error = "cannot write the log file " + output_.logPath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

JsonObject BoardConsole::Event(const char* name) const {
    JsonObject object;
    object.Text("event", name);
    if (output_.label.empty()) {
        object.Null("port");
    } else {
        object.Text("port", output_.label);
    }
    return object;
}

void BoardConsole::Emit(const JsonObject& object) {
    streams_.Print(object.Line());
}

void BoardConsole::Keep(const std::string& text) {
    log_ += text;
    if (logFile_ != nullptr) {
        std::fputs(text.c_str(), logFile_);
        std::fflush(logFile_);
    }
}

void BoardConsole::WriteLog(const wchar_t* text) {
    const std::string ansi = WideToAnsi(text);
    Keep(ansi);
    if (output_.quiet) {
        return;
    }
    if (output_.json) {
        pending_ += WithSystemLineEnds(Utf8FromWide(text));
        EmitLines(false);
    } else if (output_.prefixed) {
        pending_ += WithSystemLineEnds(ansi);
        EmitLines(false);
    } else {
        streams_.Print(WithSystemLineEnds(ansi));
    }
}

void BoardConsole::EmitLines(bool flush) {
    size_t end = 0;
    while ((end = pending_.find('\n')) != std::string::npos || (flush && !pending_.empty())) {
        const std::string line = pending_.substr(0, end);
        pending_.erase(0, end == std::string::npos ? pending_.size() : end + 1);
        if (output_.json) {
            Emit(Event("log").Text("text", line));
        } else {
            streams_.Print(output_.label + ": " + line + "\n");
        }
    }
}

void BoardConsole::AppendLog(const wchar_t* text) {
    if (text == nullptr) {
        return;
    }
    std::lock_guard<Mutex> guard(streams_.Lock());
    WriteLog(text);
}

void BoardConsole::ErrorReported(const std::string& line) {
    if (!output_.quiet) {
        return;
    }
    std::lock_guard<Mutex> guard(streams_.Lock());
    streams_.Complain((output_.prefixed ? output_.label + ": " : std::string()) + line);
}

void BoardConsole::SetStatusText(const wchar_t* text) {
    std::lock_guard<Mutex> guard(streams_.Lock());
    progress_.status = WithoutLineEnds(WideToAnsi(text));
    if (output_.json && !output_.quiet) {
        Emit(Event("status").Text("text", WithoutLineEnds(Utf8FromWide(text))));
    }
    streams_.ProgressChanged();
}

void BoardConsole::SetProgress(int position, int maximum) {
    std::lock_guard<Mutex> guard(streams_.Lock());
    NoteProgress(false, position, maximum);
}

void BoardConsole::SetReadBackProgress(int done, int total) {
    std::lock_guard<Mutex> guard(streams_.Lock());
    NoteProgress(true, done, total);
}

void BoardConsole::NoteProgress(bool readBack, int position, int maximum) {
    if (!inPhase_ || progress_.readBack != readBack) {
        inPhase_ = true;
        progress_.readBack = readBack;
        phaseStarted_ = Clock::now();
        pace_.Start(SecondsSince(started_));
    }
    progress_.block = position;
    // The whole count: a terminal has no 16-bit bar to fit.
    progress_.blocks = maximum;
    if (output_.json && !output_.quiet) {
        Emit(Event("progress")
                 .Text("phase", readBack ? "read-back" : "program")
                 .Number("block", position)
                 .Number("blocks", maximum));
    }
    streams_.ProgressChanged();
}

void BoardConsole::StepStarted(Step step) {
    std::lock_guard<Mutex> guard(streams_.Lock());
    // The last step's status is over.
    progress_.step = Trimmed(WideToAnsi(StepHeader(step, bitRate_).c_str()));
    progress_.stepNumber = StepNumber(step);
    progress_.status.clear();
    if (output_.json && !output_.quiet) {
        Emit(Event("step").Number("step", StepNumber(step)).Text("state", "started"));
    }
}

void BoardConsole::StepEnded(Step step, bool succeeded) {
    std::lock_guard<Mutex> guard(streams_.Lock());
    if (output_.json && !output_.quiet) {
        Emit(Event("step")
                 .Number("step", StepNumber(step))
                 .Text("state", "ended")
                 .Flag("ok", succeeded));
    }
}

void BoardConsole::BitRateFellBack(Step step, int failedRate, int nextRate) {
    std::lock_guard<Mutex> guard(streams_.Lock());
    bitRate_ = nextRate;
    const bool programming = step == Step::Programming;
    if (output_.json && !output_.quiet) {
        Emit(Event("fallback")
                 .Number("from_bps", failedRate)
                 .Number("to_bps", nextRate)
                 .Text("phase", programming ? "program" : "link"));
    }
    const std::string why =
        programming ? "step [11]: a block did not get through at " : "the link did not come up at ";
    const std::string again = programming ? " bps, erasing again" : " bps";
    streams_.Complain((output_.prefixed ? output_.label + ": " : std::string()) + why +
                      std::to_string(failedRate) + " bps: starting over at " +
                      std::to_string(nextRate) + again);
}

void BoardConsole::BitRateSkipped(int refusedRate, const std::string& why, int startRate) {
    std::lock_guard<Mutex> guard(streams_.Lock());
    bitRate_ = startRate;
    if (output_.json && !output_.quiet) {
        Emit(Event("skipped")
                 .Number("bps", refusedRate)
                 .Number("to_bps", startRate)
                 .Text("text", why));
    }
    streams_.Complain((output_.prefixed ? output_.label + ": " : std::string()) +
                      "the port does not run at " + std::to_string(refusedRate) + " bps (" + why +
                      "): starting at " + std::to_string(startRate) + " bps");
}

void BoardConsole::StartingOver(Step step, const StepFailure& failure, int retry, int retries) {
    std::lock_guard<Mutex> guard(streams_.Lock());
    if (output_.json && !output_.quiet) {
        Emit(Event("retry")
                 .Number("step", StepNumber(step))
                 .Number("retry", retry)
                 .Number("retries", retries));
    }
    streams_.Complain((output_.prefixed ? output_.label + ": " : std::string()) +
                      StartingOverText(step, failure, bitRate_, retry, retries));
}

void BoardConsole::LogToFile(const std::string& text) {
    std::lock_guard<Mutex> guard(streams_.Lock());
    Keep(text);
}

std::string BoardConsole::LogText() const {
    std::lock_guard<Mutex> guard(streams_.Lock());
    return log_;
}

void BoardConsole::BeginBoard(std::optional<uint32_t> serial) {
    std::lock_guard<Mutex> guard(streams_.Lock());
    started_ = Clock::now();
    inPhase_ = false;
    progress_ = ProgressSnapshot();
    pace_ = ProgressPace();
    bitRate_ = output_.bitRate;
    serial_ = serial;
    note_.clear();
    streams_.ProgressChanged();
}

void BoardConsole::SetStationNote(const std::string& note) {
    std::lock_guard<Mutex> guard(streams_.Lock());
    note_ = note;
    streams_.Note(output_.label + ": " + note);
}

void BoardConsole::StationEvent(const char* name) {
    std::lock_guard<Mutex> guard(streams_.Lock());
    if (output_.json) {
        Emit(Event(name));
    }
}

void BoardConsole::Conclude(const RunConclusion& conclusion, const RunOutcome& outcome, bool verify,
                            bool complained) {
    std::lock_guard<Mutex> guard(streams_.Lock());
    EmitLines(true);
    const std::string line = (conclusion.failure ? "velmora-cli: " : "") + conclusion.text;
    Keep(line + "\r\n");
    const std::string port = output_.prefixed ? output_.label + ": " : std::string();
    if (output_.json) {
        JsonObject result = Event("result");
        result.Flag("ok", !conclusion.failure).Number("exit_code", conclusion.exitCode);
        if (conclusion.failure && outcome.step != Step::None) {
            result.Number("step", StepNumber(outcome.step));
        } else {
            result.Null("step");
        }
        result.Number("blocks", outcome.blocksAcknowledged).Seconds("seconds", outcome.seconds);
        result.Number("bit_rate", outcome.bitRate).Number("fallbacks", outcome.fallbacks);
        result.Number("attempts", outcome.attempts);
        if (verify && outcome.verifiedSum) {
            char sum[16];
            std::snprintf(sum, sizeof sum, "0x%08X", *outcome.verifiedSum);
            result.Text("sum", sum);
        } else {
            result.Null("sum");
        }
        if (serial_) {
            result.Number("serial", static_cast<long long>(*serial_));
        } else {
            result.Null("serial");
        }
        Emit(result.Text("message", conclusion.text));
    } else if (!output_.quiet) {
        // A failure's line goes to standard error below.
        if (!conclusion.failure || !streams_.OnOneTerminal()) {
            streams_.Print(port + line + "\n");
        }
    }
    if (conclusion.failure && !complained) {
        streams_.Complain(port + conclusion.text);
    }
}

void BoardConsole::Close() {
    std::lock_guard<Mutex> guard(streams_.Lock());
    EmitLines(true);
    if (logFile_ != nullptr) {
        std::fclose(logFile_);
        logFile_ = nullptr;
    }
}

ProgressSnapshot BoardConsole::Snapshot() const {
    ProgressSnapshot snapshot = progress_;
    snapshot.elapsedSeconds = SecondsSince(started_);
    if (inPhase_) {
        snapshot.programmingSeconds = SecondsSince(phaseStarted_);
    }
    return snapshot;
}

std::string BoardConsole::ProgressLine(size_t width) const {
    if (!note_.empty()) {
        std::string line = output_.prefixed ? output_.label + "  " + note_ : note_;
        // Cut at a character's first byte: the note may hold more than ASCII.
        size_t end = std::min(width, line.size());
        while (end > 0 && end < line.size() && (line[end] & 0xC0) == 0x80) {
            --end;
        }
        return line.substr(0, end);
    }
    ProgressSnapshot snapshot = Snapshot();
    if (output_.prefixed) {
        snapshot.step = output_.label + "  " + snapshot.step;
    }
    return FormatProgressLine(snapshot, width);
}

std::string BoardConsole::DueProgressReport() {
    const ProgressSnapshot snapshot = Snapshot();
    if (!pace_.Due(snapshot.block, snapshot.blocks, snapshot.elapsedSeconds)) {
        return std::string();
    }
    return output_.label + ": " + FormatProgressReport(snapshot);
}
