// velmora-cli's standard output and standard error, shared by the boards of a write. One lock
// serialises every write to them and the state of every board's console; on a terminal the
// boards' progress lines stay below the text that scrolls.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "serial/thread_sync.h"

class BoardConsole;

class Streams {
public:
    // `progressLines`: standard error is a terminal that shows the boards' progress lines.
    explicit Streams(bool progressLines);
    Streams(const Streams&) = delete;
    Streams& operator=(const Streams&) = delete;

    // Held by whoever writes or changes a console, the boards' threads and the main thread.
    Mutex& Lock() { return lock_; }

    // The rest with the lock held.
    // A board whose progress line is drawn, in the order of registration.
    void Show(const BoardConsole* board);
    // Text on standard output, as long as it takes it: a reader that went away ends the printing,
    // not the run.
    void Print(const std::string& text);
    // One line on standard error, "velmora-cli: " before it.
    void Complain(const std::string& line);
    // A board's step, status or blocks changed: one board's line is redrawn at once, several are
    // left to the next DrawProgress, so that four boards do not flicker.
    void ProgressChanged();
    // Redraws the progress lines with the time and status they show now.
    void DrawProgress();
    // Takes the progress lines off the terminal, for good.
    void EraseProgress();

private:
    void Erase();

    Mutex lock_;
    const bool progressLines_;
    std::vector<const BoardConsole*> boards_;
    bool outputClosed_ = false;
    // The text on standard output ends with a line end, so that progress may stand below it: drawn
    // after half a line it would share that line, and erasing it would take the text with it.
    bool outputAtLineStart_ = true;
    // What the terminal shows now: one line without a line end for one board, else a line each.
    size_t shownLines_ = 0;
    size_t shownWidth_ = 0;
};
