// The table that ends a write on several boards: how each one went.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/run_conclusion.h"
#include "update/update_thread.h"

struct BoardResult {
    std::string label;
    RunConclusion conclusion;
    RunOutcome outcome;
    std::optional<uint32_t> serial;  // the board's own number, none without --serial
};

// Port, outcome, blocks sent, time, the serial number when a board has one and, with `verify`,
// the sum; one line a board.
std::string ResultsTable(const std::vector<BoardResult>& results, bool verify);
