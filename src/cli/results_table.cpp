// The closing table of a write on several boards, in columns as wide as their widest entry.
#include "cli/results_table.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Outcome(const BoardResult& result) {
    if (!result.conclusion.failure) {
        return "programmed";
    }
    const RunOutcome& outcome = result.outcome;
    char text[64];
    if (outcome.end == RunEnd::StepFailed && !outcome.interrupted && outcome.step != Step::None) {
        std::snprintf(text, sizeof text, "step [%02d] failed (exit %d)", StepNumber(outcome.step),
                      result.conclusion.exitCode);
    } else {
        std::snprintf(text, sizeof text, "failed (exit %d)", result.conclusion.exitCode);
    }
    return text;
}

std::string Padded(const std::string& text, size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

}  // namespace

std::string ResultsTable(const std::vector<BoardResult>& results, bool verify) {
    std::vector<std::vector<std::string>> rows = {{"port", "outcome", "blocks", "time"}};
    bool numbered = false;
    for (const BoardResult& result : results) {
        numbered = numbered || result.serial;
    }
    if (numbered) {
        rows[0].push_back("serial");
    }
    if (verify) {
        rows[0].push_back("sum");
    }
    for (const BoardResult& result : results) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s", result.outcome.seconds);
        std::vector<std::string> row = {result.label, Outcome(result),
                                        std::to_string(result.outcome.blocksAcknowledged), seconds};
        if (numbered) {
            row.push_back(result.serial ? std::to_string(*result.serial) : "-");
        }
        if (verify) {
            char sum[16] = "-";
            if (result.outcome.verifiedSum) {
                std::snprintf(sum, sizeof sum, "0x%08X", *result.outcome.verifiedSum);
            }
            row.push_back(sum);
        }
        rows.push_back(row);
    }
    std::vector<size_t> widths(rows[0].size(), 0);
    for (const auto& row : rows) {
        for (size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    std::string table;
    for (const auto& row : rows) {
        std::string line;
        for (size_t column = 0; column < row.size(); ++column) {
            line += column + 1 < row.size() ? Padded(row[column], widths[column] + 2) : row[column];
        }
        table += line + "\n";
    }
    return table;
}
