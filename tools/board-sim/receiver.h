// The MCU's receiver: host bytes count as received no faster than the line's bit rate carries them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "event_log.h"
#include "sim_clock.h"

namespace board_sim {

struct ReceivedByte {
    uint8_t byte;
    int rate;      // bits per second the host sent it at
    TimePoint at;  // when its stop bit ends
};

class Receiver {
public:
    explicit Receiver(EventLog& log);

    // Bytes the host wrote at `rate` bits per second, seen on the port at `now`. The
    // pseudo-terminal hands them over at once; on a wire each one takes 10 bits after the one
    // before.
    void Arrive(const uint8_t* bytes, size_t count, int rate, TimePoint now);
    // The next byte whose reception has ended by `now`, in order.
    std::optional<ReceivedByte> Take(TimePoint now);
    // A reset stops the UART: bytes still on their way are never received.
    void Discard(const char* reason);

    std::optional<TimePoint> Deadline() const;

private:
    EventLog& log_;
    std::deque<ReceivedByte> queue_;
    TimePoint lineFreeAt_{};
};

}  // namespace board_sim
