// velmora-cli history's output: a table for people, JSON Lines for machines.
#pragma once

#include <string>
#include <vector>

#include "record/run_record.h"

// One line a run, oldest first, under a header: when, where, the serial number, how it ended.
std::string HistoryTable(const std::vector<RunRecord>& records);
// One JSON object, the table runs' column names as its keys; an unfinished run's ending is null.
std::string HistoryJsonLine(const RunRecord& record);
