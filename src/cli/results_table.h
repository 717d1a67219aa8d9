// The table that ends a write on several boards: how each one went.
#pragma once

#include <string>
#include <vector>

#include "cli/run_conclusion.h"
#include "update/update_thread.h"

struct BoardResult {
    std::string label;
    RunConclusion conclusion;
    RunOutcome outcome;
};

// Port, outcome, blocks sent, time and, with `verify`, the sum; one line a board.
std::string ResultsTable(const std::vector<BoardResult>& results, bool verify);
