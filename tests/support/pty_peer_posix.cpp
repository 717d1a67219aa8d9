// PtyPeer in the test's own process: openpty, with the master side read and written directly.
#include "support/pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

struct PtyPeer::Native {
    int master = -1;
    // Held open so the pty outlives the port's closing and reopening.
    int slave = -1;
    std::string name;
    std::string problem;

    bool Create() {
        char path[256];
        if (openpty(&master, &slave, path, nullptr, nullptr) != 0) {
            problem = "openpty failed";
            return false;
        }
        termios raw;
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        name = path;
        return true;
    }

    void Destroy() {
        if (master >= 0) {
            close(master);
            close(slave);
        }
        master = slave = -1;
    }
};

PtyPeer::PtyPeer() : native_(new Native) {
    native_->Create();
}

PtyPeer::~PtyPeer() {
    native_->Destroy();
}

bool PtyPeer::IsReady() const {
    return native_->master >= 0;
}

std::string PtyPeer::Problem() const {
    return native_->problem;
}

std::string PtyPeer::PortName() const {
    return native_->name;
}

bool PtyPeer::Send(const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t count = write(native_->master, bytes.data() + sent, bytes.size() - sent);
        if (count < 0) {
            return false;
        }
        sent += static_cast<size_t>(count);
    }
    return true;
}

std::vector<uint8_t> PtyPeer::Receive(size_t count, int milliseconds) {
    std::vector<uint8_t> received;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (received.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd wait = {native_->master, POLLIN, 0};
        if (left.count() <= 0 || poll(&wait, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        uint8_t buffer[512];
        size_t wanted =
            count - received.size() < sizeof buffer ? count - received.size() : sizeof buffer;
        ssize_t got = read(native_->master, buffer, wanted);
        if (got <= 0) {
            break;
        }
        received.insert(received.end(), buffer, buffer + got);
    }
    return received;
}

bool PtyPeer::ReadLineSettings(PeerLineSettings* settings) {
    static const struct {
        speed_t speed;
        int32_t rate;
    } kRates[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},   {B9600, 9600},
                  {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
    termios line;
    if (tcgetattr(native_->master, &line) != 0) {
        return false;
    }
    settings->bitRate = 0;
    for (const auto& entry : kRates) {
        if (entry.speed == cfgetospeed(&line)) {
            settings->bitRate = entry.rate;
        }
    }
    settings->twoStopBits = (line.c_cflag & CSTOPB) != 0;
    settings->hardwareFlow = (line.c_cflag & CRTSCTS) != 0;
    return true;
}

bool PtyPeer::Hangup() {
    native_->Destroy();
    return true;
}

bool PtyPeer::Recreate() {
    native_->Destroy();
    return native_->Create();
}

bool RunsUnderWine() {
    return false;
}
