// The host's end of a line to the simulated board, with what the board logs beside it: the board
// in process in virtual time, or the velmora-board-sim program over a pseudo-terminal.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "serial/thread_sync.h"
#include "support/bytes.h"
#include "support/host_port.h"
#include "support/in_process_board.h"
#include "support/sim_board.h"

class BoardLine {
public:
    virtual ~BoardLine() = default;

    // Whether the board took its options and runs.
    virtual bool ready() const = 0;
    // Raw 8N1 at `bitsPerSecond`; an open line is closed first.
    virtual bool Open(int bitsPerSecond) = 0;
    virtual void Close() = 0;
    virtual bool Send(const Bytes& bytes) = 0;
    // Reads until `count` bytes have come or `timeoutMs` has passed.
    virtual Bytes Receive(size_t count, int timeoutMs = 1000) = 0;
    // A read failed as on a device that has gone away.
    virtual bool failed() const = 0;
    // What the host does to reset the board, with the line closed: open at 19200 bps, hold
    // briefly, close. False when the port cannot be opened.
    virtual bool Pulse() = 0;

    // Records of `kind` in the board's event log whose line also holds `text`.
    virtual int Count(const std::string& kind, const std::string& text = "") const = 0;
    // Waits until Count(kind, text) reaches `count`.
    virtual bool WaitFor(const std::string& kind, int count, const std::string& text = "") = 0;

    Bytes Exchange(const Bytes& bytes, size_t count, int timeoutMs = 1000);
    // Nothing arrives within `timeoutMs` after sending.
    bool Unanswered(const Bytes& bytes, int timeoutMs = 150);
};

// The board in process: time passes only while the host waits for something.
class InProcessLine final : public BoardLine {
public:
    explicit InProcessLine(const std::vector<std::string>& options);

    InProcessBoard& board() { return board_; }

    bool ready() const override { return board_.ready(); }
    bool Open(int bitsPerSecond) override;
    void Close() override;
    // In pieces the link takes, each once the one before has gone out.
    bool Send(const Bytes& bytes) override;
    Bytes Receive(size_t count, int timeoutMs = 1000) override;
    bool failed() const override { return failed_; }
    bool Pulse() override;
    int Count(const std::string& kind, const std::string& text = "") const override {
        return board_.Count(kind, text);
    }
    bool WaitFor(const std::string& kind, int count, const std::string& text = "") override {
        return board_.WaitFor(kind, count, text);
    }

private:
    static int32_t OnEvent(SerialLink* link, int32_t code, void* line);

    InProcessBoard board_;
    // What the link delivered and no Receive has taken yet.
    Bytes received_;
    size_t wanted_ = 0;
    Event enough_;  // `wanted_` bytes have come, or the device has gone
    Event written_;
    bool failed_ = false;
};

// velmora-board-sim on a pseudo-terminal, and a termios host port to it.
class PtyLine final : public BoardLine {
public:
    explicit PtyLine(const std::vector<std::string>& options) : sim_(options) {}

    SimBoard& board() { return sim_; }
    // For openings with other settings than Open's.
    HostPort& port() { return port_; }

    bool ready() const override { return sim_.ready(); }
    bool Open(int bitsPerSecond) override;
    void Close() override { port_.Close(); }
    bool Send(const Bytes& bytes) override { return port_.Send(bytes); }
    Bytes Receive(size_t count, int timeoutMs = 1000) override {
        return port_.Receive(count, timeoutMs);
    }
    bool failed() const override { return port_.failed(); }
    bool Pulse() override { return PulsePort(sim_.link()); }
    int Count(const std::string& kind, const std::string& text = "") const override {
        return sim_.Count(kind, text);
    }
    bool WaitFor(const std::string& kind, int count, const std::string& text = "") override {
        return sim_.WaitFor(kind, count, text);
    }

private:
    SimBoard sim_;
    HostPort port_;
};
