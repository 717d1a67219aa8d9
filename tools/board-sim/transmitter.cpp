// Paced delivery of the simulated MCU's reply bytes.
#include "transmitter.h"

#include <algorithm>
#include <chrono>

namespace board_sim {

namespace {

constexpr int kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
constexpr auto kRetryDelay = std::chrono::milliseconds(1);

}  // namespace

Transmitter::Transmitter(HostLine& line, EventLog& log, bool mute, Clock::duration latency)
    : line_(line), log_(log), mute_(mute), latency_(latency) {}

void Transmitter::Send(const std::vector<uint8_t>& bytes, double rate, TimePoint now) {
    if (mute_) {
        log_.Record("tx-muted").Hex("bytes", bytes.data(), bytes.size());
        return;
    }
    log_.Record("tx").Hex("bytes", bytes.data(), bytes.size()).Real("bit_rate", rate);
    const auto byteTime = Seconds(kBitsPerByte / rate);
    TimePoint due = std::max(now, lineFreeAt_);
    for (uint8_t byte : bytes) {
        due += byteTime;
        queue_.push_back({byte, rate, due});
    }
    lineFreeAt_ = due;
}

void Transmitter::Pump(TimePoint now, bool portOpen, const LineSettings& host) {
    std::vector<uint8_t> lostClosed;
    std::vector<uint8_t> lostMismatch;
    // The adapter's UART takes each byte at the host's settings of the moment its stop bit ends.
    while (!queue_.empty() && queue_.front().due <= now) {
        const Pending& next = queue_.front();
        if (!portOpen) {
            lostClosed.push_back(next.byte);
        } else if (!host.IsEightNoneOne() || !RatesAgree(host.bitRate, next.rate)) {
            lostMismatch.push_back(next.byte);
        } else {
            held_.push_back({next.byte, next.due + latency_});
        }
        queue_.pop_front();
    }
    if (!retryAt_ || now >= *retryAt_) {
        retryAt_.reset();
        while (!held_.empty() && held_.front().releaseAt <= now) {
            const uint8_t byte = held_.front().byte;
            if (!portOpen) {
                lostClosed.push_back(byte);
            } else {
                const HostLine::WriteResult result = line_.Write(byte);
                if (result == HostLine::WriteResult::Busy) {
                    retryAt_ = now + kRetryDelay;
                    break;
                }
                if (result == HostLine::WriteResult::Failed) {
                    lostClosed.push_back(byte);
                }
            }
            held_.pop_front();
        }
    }
    Lose(&lostClosed, "port closed");
    Lose(&lostMismatch, "host set to another bit rate or frame");
}

void Transmitter::Discard(const char* reason) {
    std::vector<uint8_t> lost;
    for (const Held& held : held_) {
        lost.push_back(held.byte);
    }
    for (const Pending& pending : queue_) {
        lost.push_back(pending.byte);
    }
    held_.clear();
    queue_.clear();
    retryAt_.reset();
    Lose(&lost, reason);
}

std::optional<TimePoint> Transmitter::Deadline() const {
    std::optional<TimePoint> earliest;
    if (!queue_.empty()) {
        earliest = queue_.front().due;
    }
    if (!held_.empty()) {
        const TimePoint release =
            retryAt_ ? std::max(*retryAt_, held_.front().releaseAt) : held_.front().releaseAt;
        earliest = earliest ? std::min(*earliest, release) : release;
    }
    return earliest;
}

void Transmitter::Lose(std::vector<uint8_t>* lost, const char* reason) {
    if (!lost->empty()) {
        log_.Record("tx-lost").Hex("bytes", lost->data(), lost->size()).Text("reason", reason);
    }
}

}  // namespace board_sim
