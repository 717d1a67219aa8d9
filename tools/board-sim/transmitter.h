// The MCU's transmitter: paces reply bytes at the wire time of its UART and hands them to the port.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "event_log.h"
#include "line_settings.h"
#include "pty_port.h"
#include "sim_clock.h"

class Transmitter {
public:
    Transmitter(PtyPort& port, EventLog& log, bool mute);

    // Queues a reply sent at `rate` bits per second (10 bits a byte on the wire).
    void Send(const std::vector<uint8_t>& bytes, double rate, TimePoint now);
    // Delivers the bytes whose wire time has passed. A byte is lost when the host's port is closed
    // or set to another rate or frame than the one it was sent at.
    void Pump(TimePoint now, bool portOpen, const LineSettings& host);
    // A reset stops the UART: whatever is still queued never leaves.
    void Discard(const char* reason);

    std::optional<TimePoint> Deadline() const;
    bool Idle() const { return queue_.empty(); }

private:
    struct Pending {
        uint8_t byte;
        double rate;
        TimePoint due;
    };

    void Lose(std::vector<uint8_t>* lost, const char* reason);

    PtyPort& port_;
    EventLog& log_;
    const bool mute_;
    std::deque<Pending> queue_;
    TimePoint lineFreeAt_{};
    // Set when the port would not take a byte; the next try waits a little.
    std::optional<TimePoint> retryAt_;
};
