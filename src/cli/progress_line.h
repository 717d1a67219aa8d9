// The one line on a terminal that shows how far a write has come.
#pragma once

#include <string>

struct ProgressSnapshot {
    std::string step;               // the header of the step in progress ("[03] APPORVAL")
    int block = 0;                  // blocks dealt with so far, 0 before programming
    int blocks = 0;                 // blocks of the image
    double elapsedSeconds = 0;      // since the run started
    double programmingSeconds = 0;  // since the first block, for the estimate of what is left
    std::string status;             // the status line's text in this step, without its line end
};

// "[11] PROGRAMMING  blocks 12/49 (1536/6272 bytes)  0:07 elapsed, 0:19 left  ADDRESS : ...",
// cut to `width` columns. Before the first block it holds only the step, the time and the status.
std::string FormatProgressLine(const ProgressSnapshot& snapshot, size_t width);
