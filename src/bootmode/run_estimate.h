// How long an update run takes at the protocol's fixed pacing, before it is started.
#pragma once

#include <cstdint>

struct FirmwareImage;

// A run in which every step succeeds at its first try, in its parts, in seconds.
struct RunEstimate {
    double stepDelays;   // the fixed delays of the steps, the end of programming's included
    double blockDelays;  // the fixed delay of each block sent
    double blockWire;    // each block's frame out and its ACK back at the run's bit rate
    // The delays a reply-paced run keeps: the board's reactions to the port's opening and
    // closing, and the step into programming.
    double pacedDelays;
    double verify;    // what the verify option adds: the user MAT inquiry and the sum check
    double readBack;  // what the read-back adds: one memory read per run of sent blocks
};

// With the link moved to `bitRate` for programming.
RunEstimate EstimateRun(const FirmwareImage& image, int bitRate);

// The memory read's reply takes this long on the wire at `bitRate`: code, size, `size` data
// bytes, SUM; in whole milliseconds.
int MemoryReadReplyMilliseconds(uint32_t size, int bitRate);
