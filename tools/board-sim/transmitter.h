// The MCU's transmitter: paces reply bytes at the wire time of its UART and hands them to the port,
// after the latency of the host's adapter.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "event_log.h"
#include "host_line.h"
#include "line_settings.h"
#include "sim_clock.h"

namespace board_sim {

class Transmitter {
public:
    // `latency`: how long the host's adapter holds each byte it has received before the host can
    // read it.
    Transmitter(HostLine& line, EventLog& log, bool mute, Clock::duration latency);

    // Queues a reply sent at `rate` bits per second (10 bits a byte on the wire).
    void Send(const std::vector<uint8_t>& bytes, double rate, TimePoint now);
    // Delivers the bytes whose wire time and latency have passed. A byte is lost when the host's
    // port is closed, or set to another rate or frame than the one it was sent at when its stop
    // bit ends.
    void Pump(TimePoint now, bool portOpen, const LineSettings& host);
    // A reset stops the UART: whatever is still queued never leaves.
    void Discard(const char* reason);

    std::optional<TimePoint> Deadline() const;
    bool Idle() const { return queue_.empty() && held_.empty(); }

private:
    struct Pending {
        uint8_t byte;
        double rate;
        TimePoint due;
    };
    // A byte the adapter has received and holds for its latency.
    struct Held {
        uint8_t byte;
        TimePoint releaseAt;
    };

    void Lose(std::vector<uint8_t>* lost, const char* reason);

    HostLine& line_;
    EventLog& log_;
    const bool mute_;
    const Clock::duration latency_;
    std::deque<Pending> queue_;
    std::deque<Held> held_;
    TimePoint lineFreeAt_{};
    // Set when the port would not take a byte; the next try waits a little.
    std::optional<TimePoint> retryAt_;
};

}  // namespace board_sim
