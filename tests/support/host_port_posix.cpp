// HostPort on termios: raw settings, reads bounded by poll, and the resetting pulse.
#include "support/host_port.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "serial/thread_sync.h"
#include "support/exact_bit_rate.h"

bool HostPort::Open(const std::string& path, speed_t rate, tcflag_t cflagExtra, tcflag_t iflag) {
    Close();
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (fd_ < 0 || tcgetattr(fd_, &settings) != 0) {
        Close();
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag = (settings.c_cflag & ~(CSIZE | PARENB | CSTOPB | CRTSCTS)) | CS8 | CLOCAL |
                       CREAD | cflagExtra;
    settings.c_iflag = iflag;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (cfsetispeed(&settings, rate) != 0 || cfsetospeed(&settings, rate) != 0 ||
        tcsetattr(fd_, TCSANOW, &settings) != 0) {
        Close();
        return false;
    }
    failed_ = false;
    return true;
}

bool HostPort::OpenAtExactRate(const std::string& path, int bitsPerSecond) {
    if (!Open(path, B38400) || !SetExactBitRate(fd_, bitsPerSecond)) {
        Close();
        return false;
    }
    return true;
}

void HostPort::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

bool HostPort::Send(const Bytes& bytes) {
    return fd_ >= 0 && write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

Bytes HostPort::Receive(size_t count, int timeoutMs) {
    Bytes received;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0 && received.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd readable{fd_, POLLIN, 0};
        if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        uint8_t buffer[512];
        ssize_t length = read(fd_, buffer, std::min(sizeof buffer, count - received.size()));
        if (length <= 0) {
            failed_ = true;
            break;
        }
        received.insert(received.end(), buffer, buffer + length);
    }
    return received;
}

Bytes HostPort::Exchange(const Bytes& bytes, size_t count, int timeoutMs) {
    return Send(bytes) ? Receive(count, timeoutMs) : Bytes{};
}

bool HostPort::Unanswered(const Bytes& bytes, int timeoutMs) {
    return Exchange(bytes, 1, timeoutMs).empty();
}

bool PulsePort(const std::string& path, speed_t rate) {
    HostPort port;
    if (!port.Open(path, rate)) {
        return false;
    }
    // Part of the pulse: as long as the real host holds the port while its reader thread starts.
    SleepMilliseconds(20);
    port.Close();
    // A host's pause before it opens the port again, so that two pulses are two openings.
    SleepMilliseconds(20);
    return true;
}
