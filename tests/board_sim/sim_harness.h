// Test side of the simulated board: starts velmora-board-sim, plays the host over plain termios,
// and reads the event log and the flash dump.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Appends the SUM that makes the frame's bytes add up to 0.
Bytes WithSum(Bytes frame);
// A 128-byte programming frame for `address` whose data bytes are `seed` + offset.
Bytes BlockFrame(uint32_t address, uint8_t seed);

// The simulator, started in a directory of the running test's own under the build tree.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& options);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool ready() const { return ready_; }
    const std::string& link() const { return link_; }
    const std::string& dump() const { return dump_; }
    // Sends `signal` and waits; the exit code, or -1 when the process did not exit normally.
    int Stop(int signal);

    std::vector<std::string> LogLines() const;
    // Records of a kind whose line also contains `text`.
    int Count(const std::string& kind, const std::string& text = "") const;
    bool WaitFor(const std::string& kind, int count, const std::string& text = "",
                 int timeoutMs = 2000) const;
    Bytes ReadDump() const;

private:
    std::string dir_;
    std::string link_;
    std::string log_;
    std::string dump_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

// Runs the simulator with these arguments to its end; its exit code and standard error.
int RunSimToEnd(const std::vector<std::string>& arguments, std::string* errors);
std::string TestDirectory();

// The host's end of the line: the linked device opened with plain termios.
class HostPort {
public:
    HostPort() = default;
    ~HostPort() { Close(); }
    HostPort(const HostPort&) = delete;
    HostPort& operator=(const HostPort&) = delete;

    // Raw 8N1 without flow control unless `cflagExtra` adds bits (parity, stop bits, CRTSCTS).
    bool Open(const std::string& path, speed_t rate, tcflag_t cflagExtra = 0, tcflag_t iflag = 0);
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

// Steps of a session that every scenario shares. Each returns false, with a test failure added,
// when the board does not answer as it should.
bool EnterBootMode(SimProcess& sim);
bool ReachDeviceSelection(SimProcess& sim, HostPort& host);
bool ReachBitRateSelection(HostPort& host);
bool ChangeTo38400(SimProcess& sim, HostPort& host);
// Up to the erase, after which the boot program waits for a programming/erasing command.
bool ReachErased(SimProcess& sim, HostPort& host);
bool ReachProgramming(SimProcess& sim, HostPort& host);

extern const Bytes kOwnDeviceCode;
extern const Bytes kSelectOwnDevice;
extern const Bytes kSetClockMode0;
extern const Bytes kSelect38400;
