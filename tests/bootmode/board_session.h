// Test side of a boot-mode session against the simulated board in process: the module's reports,
// and the update run's steps up to the programming state.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bootmode/mod_update_1527.h"
#include "support/bytes.h"
#include "support/in_process_board.h"

// What the module reported since the last Reset.
struct Reports final : ModuleReports {
    std::vector<std::string> errors;
    std::string log;
    std::vector<std::string> status;
    std::vector<std::pair<int, int>> progress;

    void Reset() { *this = Reports(); }
    void Install(ModUpdate1527& module);

    void Error(const char* text) override { errors.push_back(text); }
    void Log(const char* text) override { log += text; }
    void Progress(int current, int total) override { progress.emplace_back(current, total); }
    void Status(const char* text) override { status.push_back(text); }
};
extern Reports g_reports;

// One scenario: its own board, and a module on its link and clock whose reports go to g_reports.
struct BoardSession {
    explicit BoardSession(const std::vector<std::string>& options) : board(options) {
        g_reports.Reset();
        g_reports.Install(module);
    }

    InProcessBoard board;
    ModUpdate1527 module{board.Link(), board.Clock()};
};

// Steps [01] to [09] of the update run, device choice included; false at the first that fails.
bool ReachFastLink(ModUpdate1527& module, const std::string& port);
// The same and step [10].
bool ReachProgramming(ModUpdate1527& module, const std::string& port);

// Reads one of the S-record samples of the reader's tests.
Bytes ReadSample(const std::string& name);
