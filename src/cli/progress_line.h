// How far a write has come, as standard error shows it: one line on a terminal, updated in place,
// and elsewhere a plain line now and then.
#pragma once

#include <string>

struct ProgressSnapshot {
    std::string step;               // the header of the step in progress ("[03] APPORVAL")
    int stepNumber = 0;             // its number, 1 to 12
    bool readBack = false;          // the blocks are being read back, not programmed
    int block = 0;                  // blocks dealt with so far, 0 before the phase's first
    int blocks = 0;                 // blocks of the phase: of the image, or sent for a read-back
    double elapsedSeconds = 0;      // since the run started
    double programmingSeconds = 0;  // since the phase began, for the estimate of what is left
    std::string status;             // the status line's text in this step, without its line end
};

// "[11] PROGRAMMING  blocks 12/49 (1536/6272 bytes)  0:07 elapsed, 0:19 left  ADDRESS : ...",
// cut to `width` columns; "read back 12/49 blocks" for a read-back. Before the phase's first
// block it holds only the step, the time and the status.
std::string FormatProgressLine(const ProgressSnapshot& snapshot, size_t width);

// "[11] 1024/2048 blocks, 0:21 left", or "[11] read-back 64/547 blocks, 0:10 left": the plain
// line for a log or a pipe.
std::string FormatProgressReport(const ProgressSnapshot& snapshot);

// Where no terminal shows the progress line, a plain line is due whenever the blocks pass another
// tenth of the phase, and at least every kReportSeconds, from the phase's start to its last block.
class ProgressPace {
public:
    static constexpr double kReportSeconds = 10;

    // A phase begins at `seconds` (from any fixed start).
    void Start(double seconds);
    // Whether a line is due at `seconds` with `block` of `blocks` dealt with; one found due
    // counts as shown.
    bool Due(int block, int blocks, double seconds);

private:
    bool running_ = false;
    int tenths_ = 0;  // the tenths of the phase that the last line showed
    double shownAt_ = 0;
};
