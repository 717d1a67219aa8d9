// The board's time: the steady clock on a pseudo-terminal, a virtual one for a board in process.
// Reply pacing, timers and log timestamps all take the time they are given.
#pragma once

#include <chrono>

namespace board_sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

inline Clock::duration Seconds(double seconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace board_sim
