// Test side of a boot-mode session against the simulated board: the simulator process, the
// module's reports, and the update run's steps up to the programming state.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "bootmode/mod_update_1527.h"

using Bytes = std::vector<uint8_t>;

// velmora-board-sim on a link of its own under this build's work directory.
class SimBoard {
public:
    SimBoard(const std::string& name, const std::vector<std::string>& options);
    ~SimBoard();
    SimBoard(const SimBoard&) = delete;
    SimBoard& operator=(const SimBoard&) = delete;

    bool ready() const { return ready_; }
    const std::string& port() const { return link_; }
    // Records of `kind` (a JSON "kind" value) whose line also holds `text`.
    int Count(const std::string& kind, const std::string& text = "") const;
    // Waits up to `milliseconds` until Count(kind, text) reaches `count`; the board logs what
    // follows a close (reset, reboot) a little after the host's call has returned.
    bool WaitForCount(const std::string& kind, const std::string& text, int count,
                      int milliseconds = 3000) const;
    // Every byte the board received from the host, in order.
    Bytes HostBytes() const;
    // Ends the simulator, which writes its flash dump, and returns that dump.
    Bytes StopAndDump();

private:
    std::vector<std::string> LogLines() const;

    std::string link_;
    std::string log_;
    std::string dump_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

// What the module reported through its four sinks since the last Reset.
struct Reports {
    std::vector<std::string> errors;
    std::string log;
    std::vector<std::string> status;
    std::vector<std::pair<int, int>> progress;

    void Reset() { *this = Reports(); }
    void Install(ModUpdate1527& module);
};
extern Reports g_reports;

// One scenario: its own board, and a module whose reports go to g_reports.
struct BoardSession {
    BoardSession(const std::string& name, const std::vector<std::string>& options)
        : board(name, options) {
        g_reports.Reset();
        g_reports.Install(module);
    }

    SimBoard board;
    ModUpdate1527 module;
};

// Steps [01] to [09] of the update run, device choice included; false at the first that fails.
bool ReachFastLink(ModUpdate1527& module, const std::string& port);
// The same and step [10].
bool ReachProgramming(ModUpdate1527& module, const std::string& port);

// Reads one of the S-record samples of the reader's tests.
Bytes ReadSample(const std::string& name);
