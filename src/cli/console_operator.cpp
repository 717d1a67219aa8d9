// velmora-cli's reporting routines: the log on standard output (and in --log's file), the step,
// the status and the block progress in one updating line on standard error when it is a terminal.
//
// Threads: the update thread calls the routines; the main thread starts and stops the console,
// refreshes the progress line between reports and concludes. One lock serialises everything
// below.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "cli/console.h"
#include "cli/progress_line.h"
#include "cli/terminal.h"
#include "serial/text_conversion.h"
#include "serial/thread_sync.h"
#include "update/operator_routines.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kComplaintPrefix[] = "velmora-cli: ";

struct Console {
    Mutex lock;
    ConsoleOptions options;
    std::FILE* logFile = nullptr;
    // Standard output refused a write (a pipe whose reader has gone): the log goes on in the file.
    bool outputClosed = false;
    Clock::time_point started;
    Clock::time_point firstBlock;
    ProgressSnapshot progress;
    size_t shownColumns = 0;  // width of the progress line now on the terminal
    // The log's last line is complete: the progress line may stand below it. Drawn after half a
    // line it would share that line, and erasing it would take the log's text with it.
    bool logAtLineStart = true;
};

Console console;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string WithoutLineEnds(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.pop_back();
    }
    return line;
}

// A step's header ("[03] APPORVAL \r\n") begins with its number in brackets.
bool IsStepHeader(const std::string& text) {
    return text.size() > 5 && text[0] == '[' && std::isdigit(static_cast<unsigned char>(text[1])) &&
           std::isdigit(static_cast<unsigned char>(text[2])) && text[3] == ']';
}

std::string Trimmed(const std::string& text) {
    std::string line = WithoutLineEnds(text);
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

// Lock held: takes the progress line off the terminal, so that other text can follow.
void EraseProgress() {
    if (console.shownColumns > 0) {
        std::fprintf(stderr, "\r%s\r", std::string(console.shownColumns, ' ').c_str());
        console.shownColumns = 0;
    }
}

// Lock held.
void DrawProgress() {
    if (!console.options.progressLine || console.options.quiet || !console.logAtLineStart) {
        return;
    }
    console.progress.elapsedSeconds = SecondsSince(console.started);
    if (console.progress.block > 0) {
        console.progress.programmingSeconds = SecondsSince(console.firstBlock);
    }
    // One column short of the width, so that the terminal never wraps the line.
    const std::string line = FormatProgressLine(console.progress, TerminalColumns() - 1);
    EraseProgress();
    std::fprintf(stderr, "%s", line.c_str());
    std::fflush(stderr);
    console.shownColumns = line.size();
}

// Lock held: standard output, as long as it takes what it is given.
void Print(const std::string& lines) {
    if (console.outputClosed) {
        return;
    }
    if (std::fputs(lines.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        console.outputClosed = true;
    }
}

// Lock held: the window's log text, on standard output with this system's line ends and in the
// log file as the window shows it.
void WriteLog(const std::string& text, bool toOutput) {
    if (console.logFile != nullptr) {
        std::fputs(text.c_str(), console.logFile);
        std::fflush(console.logFile);
    }
    if (IsStepHeader(text)) {
        console.progress.step = Trimmed(text);
        console.progress.status.clear();
    }
    if (console.options.quiet || !toOutput) {
        return;
    }
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        lines += text[i];
    }
    if (lines.empty()) {
        return;
    }
    EraseProgress();
    Print(lines);
    console.logAtLineStart = lines.back() == '\n';
    DrawProgress();
}

// Lock held.
void WriteComplaint(const std::string& text) {
    EraseProgress();
    std::fprintf(stderr, "%s%s\n", kComplaintPrefix, text.c_str());
    std::fflush(stderr);
}

}  // namespace

bool StartConsole(const ConsoleOptions& options, std::string* error) {
    std::lock_guard<Mutex> guard(console.lock);
    console.options = options;
    console.outputClosed = false;
    console.started = Clock::now();
    console.progress = ProgressSnapshot();
    console.logAtLineStart = true;
    if (!options.logPath.empty()) {
        console.logFile = std::fopen(options.logPath.c_str(), "wb");
        if (console.logFile == nullptr) {
            *error = "cannot write the log file " + options.logPath;
            return false;
        }
    }
    return true;
}

void RefreshProgress() {
    std::lock_guard<Mutex> guard(console.lock);
    DrawProgress();
}

void Conclude(const std::string& text, bool failure) {
    std::lock_guard<Mutex> guard(console.lock);
    if (!failure) {
        WriteLog(text + "\r\n", true);
        return;
    }
    const bool shownOnce = StandardOutputIsTerminal() && StandardErrorIsTerminal();
    WriteLog(kComplaintPrefix + text + "\r\n", !shownOnce);
    WriteComplaint(text);
}

void StopConsole() {
    std::lock_guard<Mutex> guard(console.lock);
    EraseProgress();
    std::fflush(stderr);
    if (console.logFile != nullptr) {
        std::fclose(console.logFile);
        console.logFile = nullptr;
    }
}

void Complain(const std::string& text) {
    std::lock_guard<Mutex> guard(console.lock);
    WriteComplaint(text);
}

void AppendLog(const wchar_t* text) {
    if (text == nullptr) {
        return;
    }
    std::lock_guard<Mutex> guard(console.lock);
    WriteLog(WideToAnsi(text), true);
}

void AppendLogA(const char* text) {
    AppendLog(AnsiToWide(text));
}

void ReportError(const char* text) {
    if (text == nullptr) {
        return;
    }
    const std::string line = std::string("Error occured : ") + text;
    std::lock_guard<Mutex> guard(console.lock);
    WriteLog(line + "\r\n", true);
    if (console.options.quiet) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
}

// A terminal's output cannot be taken back: the log only grows.
void ClearLog() {}

void SetStatusText(const wchar_t* text) {
    std::lock_guard<Mutex> guard(console.lock);
    console.progress.status = WithoutLineEnds(WideToAnsi(text));
    DrawProgress();
}

void SetStatusTextA(const char* text) {
    SetStatusText(AnsiToWide(text));
}

void SetProgress(int position, int maximum) {
    std::lock_guard<Mutex> guard(console.lock);
    if (console.progress.block == 0 && position > 0) {
        console.firstBlock = Clock::now();
    }
    console.progress.block = position;
    // The whole count: a terminal has no 16-bit bar to fit.
    console.progress.blocks = maximum;
    DrawProgress();
}

// The progress line shows the time instead of a moving bar.
void SetMarquee(bool) {}

// There are no controls to give back or take: a command line runs one command.
void EnableControls() {}
void DisableControls() {}

std::wstring ReadSelectedPortName() {
    std::lock_guard<Mutex> guard(console.lock);
    return console.options.portName;
}

bool IsCharacterCommandChecked() {
    return false;
}
