// Paced reception of the host's bytes by the simulated MCU's UART.
#include "receiver.h"

#include <algorithm>
#include <vector>

namespace board_sim {

namespace {

constexpr int kBitsPerByte = 10;  // start bit, 8 data bits, stop bit

}  // namespace

Receiver::Receiver(EventLog& log) : log_(log) {}

void Receiver::Arrive(const uint8_t* bytes, size_t count, int rate, TimePoint now) {
    const auto byteTime = Seconds(static_cast<double>(kBitsPerByte) / rate);
    TimePoint at = std::max(now, lineFreeAt_);
    for (size_t i = 0; i < count; ++i) {
        at += byteTime;
        queue_.push_back({bytes[i], rate, at});
    }
    lineFreeAt_ = at;
}

std::optional<ReceivedByte> Receiver::Take(TimePoint now) {
    if (queue_.empty() || queue_.front().at > now) {
        return std::nullopt;
    }
    const ReceivedByte next = queue_.front();
    queue_.pop_front();
    return next;
}

void Receiver::Discard(const char* reason) {
    if (queue_.empty()) {
        return;
    }
    std::vector<uint8_t> lost;
    for (const ReceivedByte& pending : queue_) {
        lost.push_back(pending.byte);
    }
    queue_.clear();
    log_.Record("rx-lost").Hex("bytes", lost.data(), lost.size()).Text("reason", reason);
}

std::optional<TimePoint> Receiver::Deadline() const {
    if (queue_.empty()) {
        return std::nullopt;
    }
    return queue_.front().at;
}

}  // namespace board_sim
