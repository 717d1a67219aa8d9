// The host's line to the simulated board, in process and over a pseudo-terminal.
#include "board_sim/board_line.h"

#include <algorithm>

namespace {

// Bytes the link takes with one Write.
const size_t kLargestWrite = 255;
// How long the host holds the port to reset the board, and waits before it opens it again: as
// PulsePort does on a pseudo-terminal.
const int kPulseMilliseconds = 20;

}  // namespace

Bytes BoardLine::Exchange(const Bytes& bytes, size_t count, int timeoutMs) {
    return Send(bytes) ? Receive(count, timeoutMs) : Bytes{};
}

bool BoardLine::Unanswered(const Bytes& bytes, int timeoutMs) {
    return Exchange(bytes, 1, timeoutMs).empty();
}

InProcessLine::InProcessLine(const std::vector<std::string>& options) : board_(options) {
    board_.SetEventCallback(&InProcessLine::OnEvent, this);
}

bool InProcessLine::Open(int bitsPerSecond) {
    Close();
    failed_ = false;
    return board_.Open(board_.PortName().c_str(), bitsPerSecond, 0, 8, false) ==
           RS232COpenResult::PortOpened;
}

void InProcessLine::Close() {
    board_.Close();
    // As the driver's buffer of a port that closes.
    received_.clear();
}

bool InProcessLine::Send(const Bytes& bytes) {
    for (size_t at = 0; at < bytes.size(); at += kLargestWrite) {
        written_.Reset();
        if (!board_.IsOpen() || (board_.IsWriting() && !board_.WaitFor(written_, -1)) ||
            !board_.IsOpen()) {
            return false;
        }
        board_.Write(bytes.data() + at,
                     static_cast<int32_t>(std::min(kLargestWrite, bytes.size() - at)));
    }
    return true;
}

Bytes InProcessLine::Receive(size_t count, int timeoutMs) {
    wanted_ = count;
    enough_.Reset();
    if (received_.size() < count && !failed_) {
        board_.WaitFor(enough_, timeoutMs);
    }
    const size_t taken = std::min(count, received_.size());
    Bytes bytes(received_.begin(), received_.begin() + static_cast<long>(taken));
    received_.erase(received_.begin(), received_.begin() + static_cast<long>(taken));
    return bytes;
}

bool InProcessLine::Pulse() {
    Close();
    if (board_.Open(board_.PortName().c_str(), 19200, 0, 8, false) !=
        RS232COpenResult::PortOpened) {
        return false;
    }
    board_.Sleep(kPulseMilliseconds);
    board_.Close();
    board_.Sleep(kPulseMilliseconds);
    return true;
}

int32_t InProcessLine::OnEvent(SerialLink* link, int32_t code, void* context) {
    InProcessLine& line = *static_cast<InProcessLine*>(context);
    switch (static_cast<PortEvent>(code)) {
        case PortEvent::DataReceived:
            line.received_.push_back(link->GetReceiveBuffer()[0]);
            link->RequestRead();
            if (line.received_.size() >= line.wanted_) {
                line.enough_.Set();
            }
            break;
        case PortEvent::WriteDone:
            line.written_.Set();
            break;
        case PortEvent::Stopped:
            if (link->IsLost()) {
                line.failed_ = true;
                line.enough_.Set();
                line.written_.Set();
            }
            break;
        default:
            break;
    }
    return 0;
}

bool PtyLine::Open(int bitsPerSecond) {
    const struct {
        int rate;
        speed_t speed;
    } kSpeeds[] = {{9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}};
    for (const auto& entry : kSpeeds) {
        if (entry.rate == bitsPerSecond) {
            return port_.Open(sim_.link(), entry.speed);
        }
    }
    return port_.OpenAtExactRate(sim_.link(), bitsPerSecond);
}
