// velmora-cli's standard output and standard error, shared by the boards of a write. One lock
// serialises every write to them and the state of every board's console; on a terminal the
// boards' progress lines stay below the text that scrolls, elsewhere each board's progress comes
// as a plain line now and then.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "serial/thread_sync.h"

class BoardConsole;

// How the boards' progress reaches standard error.
enum class ProgressDisplay {
    None,      // not at all (--quiet, --json)
    Terminal,  // a line a board, redrawn in place on the terminal that standard error is
    Lines      // a plain line a board at the pace of ProgressPace, for a log, a pipe or CI
};

// Standard output and standard error, or the files that stand for them, and whether each is an
// interactive terminal.
struct ConsoleFiles {
    std::FILE* output = stdout;
    std::FILE* errors = stderr;
    bool outputIsTerminal = false;
    bool errorsIsTerminal = false;
};

class Streams {
public:
    Streams(ProgressDisplay display, const ConsoleFiles& files);
    Streams(const Streams&) = delete;
    Streams& operator=(const Streams&) = delete;

    // Held by whoever writes or changes a console, the boards' threads and the main thread.
    Mutex& Lock() { return lock_; }
    // One terminal shows both streams: a line on each would stand there twice.
    bool OnOneTerminal() const { return outputIsTerminal_ && errorsIsTerminal_; }

    // The rest with the lock held.
    // A board whose progress is shown, in the order of registration.
    void Show(BoardConsole* board);
    // Text on standard output, as long as it takes it: a reader that went away ends the printing,
    // not the run.
    void Print(const std::string& text);
    // One line on standard error, "velmora-cli: " before it.
    void Complain(const std::string& line);
    // A board's step, status or blocks changed: one board's terminal line is redrawn at once,
    // several are left to the next DrawProgress, so that four boards do not flicker; plain lines
    // that are due go out at once.
    void ProgressChanged();
    // A board's state changed outside a run (a station's "waiting for a board"): a plain line
    // when progress comes as lines, else as ProgressChanged.
    void Note(const std::string& line);
    // Redraws the terminal's progress lines with the time and status they show now, or writes the
    // plain lines that time has made due.
    void DrawProgress();
    // Takes the progress lines off the terminal, for good.
    void EraseProgress();

private:
    void Erase();
    void ReportDueProgress();

    Mutex lock_;
    const ProgressDisplay display_;
    std::FILE* const output_;
    std::FILE* const errors_;
    const bool outputIsTerminal_;
    const bool errorsIsTerminal_;
    std::vector<BoardConsole*> boards_;
    bool outputClosed_ = false;
    // The text on standard output ends with a line end, so that progress may stand below it: drawn
    // after half a line it would share that line, and erasing it would take the text with it.
    bool outputAtLineStart_ = true;
    // What the terminal shows now: one line without a line end for one board, else a line each.
    size_t shownLines_ = 0;
    size_t shownWidth_ = 0;
};
