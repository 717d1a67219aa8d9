// How long an update run takes, at the protocol's fixed pacing and reply-paced (velmora-cli's
// --fast), before it is started.
#pragma once

#include <cstdint>

struct FirmwareImage;

// A run of velmora-cli in which every step succeeds at its first try, in its parts, in seconds.
struct RunEstimate {
    // At the design's pacing, where each transaction lasts its fixed delay; a block's frame and
    // its ACK pass on the wire within the block's delay.
    // The fixed delays of the steps, the user MAT inquiry's and the end of programming's included.
    double stepDelays;
    double blockDelays;  // the fixed delay of each block sent
    double verify;       // what the verify option adds: the sum check
    double readBack;     // what the read-back adds: one memory read per run of sent blocks

    // Reply-paced, where each transaction lasts its bytes on the wire both ways, the board's own
    // time and the adapter's latency.
    double pacedWaits;    // the board's reactions to the port's openings and closings, and the
                          // step into programming, which stay
    double pacedErase;    // the board's erase of its user MAT, typical
    double pacedBlocks;   // the blocks sent, each programmed by the board
    double pacedReplies;  // the other transactions of the steps
    double pacedVerify;
    double pacedReadBack;
    double blockSeconds;  // one block's frame, its programming and its ACK, reply-paced
};

// With the link moved to `bitRate` for programming, and every reply reaching the host
// `replyLatency` ms after the board sent it (a USB adapter's latency timer).
RunEstimate EstimateRun(const FirmwareImage& image, int bitRate, int replyLatency);

// The memory read's reply takes this long on the wire at `bitRate`: code, size, `size` data
// bytes, SUM; in whole milliseconds.
int MemoryReadReplyMilliseconds(uint32_t size, int bitRate);
