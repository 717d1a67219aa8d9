// The shared standard streams: text that scrolls on standard output, complaints and the boards'
// progress lines on standard error.
#include "cli/streams.h"

#include <algorithm>
#include <cstdio>

#include "cli/board_console.h"
#include "cli/terminal.h"

Streams::Streams(bool progressLines) : progressLines_(progressLines) {}

void Streams::Show(const BoardConsole* board) {
    boards_.push_back(board);
}

void Streams::Print(const std::string& text) {
    if (outputClosed_ || text.empty()) {
        return;
    }
    Erase();
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        outputClosed_ = true;
    }
    outputAtLineStart_ = text.back() == '\n';
    DrawProgress();
}

void Streams::Complain(const std::string& line) {
    Erase();
    std::fprintf(stderr, "velmora-cli: %s\n", line.c_str());
    std::fflush(stderr);
}

void Streams::ProgressChanged() {
    if (boards_.size() == 1) {
        DrawProgress();
    }
}

void Streams::DrawProgress() {
    if (!progressLines_ || boards_.empty() || !outputAtLineStart_) {
        return;
    }
    // One column short of the width, so that the terminal never wraps a line.
    const size_t width = TerminalColumns() - 1;
    Erase();
    if (boards_.size() == 1) {
        const std::string line = boards_.front()->ProgressLine(width);
        std::fputs(line.c_str(), stderr);
        shownWidth_ = line.size();
    } else {
        for (const BoardConsole* board : boards_) {
            const std::string line = board->ProgressLine(width);
            std::fprintf(stderr, "%s\n", line.c_str());
            shownWidth_ = std::max(shownWidth_, line.size());
        }
    }
    std::fflush(stderr);
    shownLines_ = boards_.size();
}

void Streams::EraseProgress() {
    Erase();
    std::fflush(stderr);
    boards_.clear();
}

void Streams::Erase() {
    if (shownLines_ == 0) {
        return;
    }
    const std::string blank(shownWidth_, ' ');
    if (shownLines_ == 1 && boards_.size() == 1) {
        // The one line has no line end: the cursor is still on it.
        std::fprintf(stderr, "\r%s\r", blank.c_str());
    } else {
        CursorUp(shownLines_);
        for (size_t i = 0; i < shownLines_; ++i) {
            std::fprintf(stderr, "%s\n", blank.c_str());
        }
        CursorUp(shownLines_);
    }
    shownLines_ = 0;
    shownWidth_ = 0;
}
