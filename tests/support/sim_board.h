// The simulated board for a test: velmora-board-sim started on a link in a work directory of the
// running test's own under the build tree, its event log, the bytes it received and its flash.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/bytes.h"

// The running test's own directory, emptied on the test's first call: later simulators of the same
// test share it. Outside a test, the test program's directory.
std::string TestDirectory();

class SimBoard {
public:
    // Starts the simulator with --link, --log and --dump in TestDirectory(), or in its
    // sub-directory `place` for a board that runs beside another; ready() tells whether it said so
    // in time.
    explicit SimBoard(const std::vector<std::string>& options, const std::string& place = "");
    ~SimBoard();
    SimBoard(const SimBoard&) = delete;
    SimBoard& operator=(const SimBoard&) = delete;

    bool ready() const { return ready_; }
    const std::string& link() const { return link_; }
    const std::string& dump() const { return dump_; }
    // Sends `signal` and waits; the exit code, or -1 when the process did not exit normally.
    int Stop(int signal);

    std::vector<std::string> LogLines() const;
    // Records of `kind` (the JSON "kind" value) whose line also holds `text`.
    int Count(const std::string& kind, const std::string& text = "") const;
    // Waits until Count(kind, text) reaches `count`; the board logs what follows a host's call (a
    // close, the reset it causes) a moment after the call has returned.
    bool WaitFor(const std::string& kind, int count, const std::string& text = "",
                 int timeoutMs = 3000) const;
    // Every byte the board received from the host, in order.
    Bytes HostBytes() const;
    Bytes ReadDump() const;
    // Ends the simulator, which writes its flash dump, and returns that dump.
    Bytes StopAndDump();

private:
    std::string dir_;
    std::string link_;
    std::string log_;
    std::string dump_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

// Runs the simulator with these arguments to its end (stopped after 5 s); its exit code and
// standard error.
int RunSimToEnd(const std::vector<std::string>& arguments, std::string* errors);
