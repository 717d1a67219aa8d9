// The shared standard streams: text that scrolls on standard output, complaints and the boards'
// progress on standard error.
#include "cli/streams.h"

#include <algorithm>
#include <cstdio>

#include "cli/board_console.h"
#include "cli/terminal.h"

Streams::Streams(ProgressDisplay display, const ConsoleFiles& files)
    : display_(display),
      output_(files.output),
      errors_(files.errors),
      outputIsTerminal_(files.outputIsTerminal),
      errorsIsTerminal_(files.errorsIsTerminal) {}

void Streams::Show(BoardConsole* board) {
    boards_.push_back(board);
}

void Streams::Print(const std::string& text) {
    if (outputClosed_ || text.empty()) {
        return;
    }
    Erase();
    if (std::fputs(text.c_str(), output_) < 0 || std::fflush(output_) != 0) {
        outputClosed_ = true;
    }
    outputAtLineStart_ = text.back() == '\n';
    DrawProgress();
}

void Streams::Complain(const std::string& line) {
    Erase();
    std::fprintf(errors_, "velmora-cli: %s\n", line.c_str());
    std::fflush(errors_);
}

void Streams::ProgressChanged() {
    if (display_ == ProgressDisplay::Lines) {
        ReportDueProgress();
    } else if (boards_.size() == 1) {
        DrawProgress();
    }
}

void Streams::Note(const std::string& line) {
    if (display_ != ProgressDisplay::Lines) {
        ProgressChanged();
        return;
    }
    Erase();
    std::fprintf(errors_, "%s\n", line.c_str());
    std::fflush(errors_);
}

void Streams::ReportDueProgress() {
    for (BoardConsole* board : boards_) {
        const std::string line = board->DueProgressReport();
        if (!line.empty()) {
            std::fprintf(errors_, "%s\n", line.c_str());
            std::fflush(errors_);
        }
    }
}

void Streams::DrawProgress() {
    if (display_ == ProgressDisplay::Lines) {
        ReportDueProgress();
        return;
    }
    if (display_ != ProgressDisplay::Terminal || boards_.empty() || !outputAtLineStart_) {
        return;
    }
    // One column short of the width, so that the terminal never wraps a line.
    const size_t width = TerminalColumns() - 1;
    Erase();
    if (boards_.size() == 1) {
        const std::string line = boards_.front()->ProgressLine(width);
        std::fputs(line.c_str(), errors_);
        shownWidth_ = line.size();
    } else {
        for (const BoardConsole* board : boards_) {
            const std::string line = board->ProgressLine(width);
            std::fprintf(errors_, "%s\n", line.c_str());
            shownWidth_ = std::max(shownWidth_, line.size());
        }
    }
    std::fflush(errors_);
    shownLines_ = boards_.size();
}

void Streams::EraseProgress() {
    Erase();
    std::fflush(errors_);
    boards_.clear();
}

void Streams::Erase() {
    if (shownLines_ == 0) {
        return;
    }
    const std::string blank(shownWidth_, ' ');
    if (shownLines_ == 1 && boards_.size() == 1) {
        // The one line has no line end: the cursor is still on it.
        std::fprintf(errors_, "\r%s\r", blank.c_str());
    } else {
        // Terminal only, where the errors are standard error, which CursorUp moves.
        CursorUp(shownLines_);
        for (size_t i = 0; i < shownLines_; ++i) {
            std::fprintf(errors_, "%s\n", blank.c_str());
        }
        CursorUp(shownLines_);
    }
    shownLines_ = 0;
    shownWidth_ = 0;
}
