// velmora-cli write --repeat: a station that programs board after board on every port, until a
// stop or a count of boards, each board found by a quiet probe and programmed once.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bootmode/firmware_image.h"
#include "cli/board_numbering.h"
#include "record/record_store.h"
#include "update/update_thread.h"

class BoardConsole;
class Streams;
struct Surroundings;

struct StationPort {
    std::string port;                 // as given
    std::string label;                // as the lines name it
    std::string adapter;              // for the record's rows; empty when unknown
    BoardConsole* console = nullptr;  // the port's, board after board
};

struct StationPlan {
    std::vector<StationPort> ports;
    std::shared_ptr<const FirmwareImage> image;  // loaded and checked once
    NumberingPlan numbering;                     // its start's time is each board's own
    RecordStore* store = nullptr;                // none without --record
    RunOptions options;
    std::optional<int> count;  // boards in all, across the ports; none: until a stop
    bool table = false;        // the results table ends the output (not with --json)
};

// Runs the station to its end; the process's exit code: 0 when every board passed (also when a
// stop ends a station that was waiting), 7 when one failed, 128 + the signal when a stop ended a
// board's run, 8 when the record could not give a board its row or keep its outcome.
int RunStation(const StationPlan& plan, Streams& streams, const Surroundings& surroundings);
