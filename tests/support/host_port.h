// The host's end of a serial line in tests: a device opened with plain termios, and the short
// opening with which a host resets the simulated board.
#pragma once

#include <termios.h>

#include <cstddef>
#include <string>

#include "support/bytes.h"

class HostPort {
public:
    HostPort() = default;
    ~HostPort() { Close(); }
    HostPort(const HostPort&) = delete;
    HostPort& operator=(const HostPort&) = delete;

    // Raw 8N1 without flow control unless `cflagExtra` adds bits (parity, stop bits, CRTSCTS).
    bool Open(const std::string& path, speed_t rate, tcflag_t cflagExtra = 0, tcflag_t iflag = 0);
    // Raw 8N1 at exactly `bitsPerSecond`, set through termios2 as for a rate without a constant.
    bool OpenAtExactRate(const std::string& path, int bitsPerSecond);
    void Close();
    bool Send(const Bytes& bytes);
    // Reads until `count` bytes have come or `timeoutMs` has passed.
    Bytes Receive(size_t count, int timeoutMs = 1000);
    Bytes Exchange(const Bytes& bytes, size_t count, int timeoutMs = 1000);
    // Nothing arrives within `timeoutMs` after sending.
    bool Unanswered(const Bytes& bytes, int timeoutMs = 150);
    // A read failed as on a device that has gone away.
    bool failed() const { return failed_; }

private:
    int fd_ = -1;
    bool failed_ = false;
};

// What the host does to reset the board: open at `rate`, hold briefly, close.
bool PulsePort(const std::string& path, speed_t rate = B19200);
