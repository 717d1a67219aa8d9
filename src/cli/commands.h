// velmora-cli's commands; each returns the process's exit code (cli/exit_codes.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/firmware_input.h"
#include "cli/serial_number.h"
#include "record/run_record.h"

struct Surroundings;

struct WriteRequest {
    std::string file;                // UTF-8, as given
    std::vector<std::string> ports;  // UTF-8: device paths on Linux, names such as COM3 on Windows
    bool quiet = false;              // only errors
    std::string logPath;    // also write the whole log here, one file a port; empty for none
    bool fast = false;      // each transaction ends as soon as its reply is complete
    bool verify = false;    // check the user MAT before the erase, and its sum after programming
    bool readBack = false;  // verify, and read every block sent back and compare it
    bool json = false;      // JSON Lines on standard output instead of the log text
    InputRequest input;     // the file's format and a binary's offset
    std::vector<int> bitRates;     // for programming, tried in turn while the link does not come up
    int eraseTimeoutSeconds = 30;  // the longest wait for the erase's ACK at [10]
    int retries = 2;               // starts over from [01] after a failure before the erase, in all
    std::optional<SerialLayout> serial;   // each board's own number, and where it goes
    std::optional<uint32_t> serialStart;  // the first number; with a record, only needed once
    std::string record;        // an SQLite file's path or a PostgreSQL URI; empty for no record
    bool repeat = false;       // a station: every port programs board after board
    std::optional<int> count;  // with repeat, the boards in all; none: until a stop
};

// What velmora-cli info estimates.
struct InfoRequest {
    std::string file;  // UTF-8, as given
    InputRequest input;
    int bitRate = 0;       // for programming
    int replyLatency = 0;  // ms the port's adapter holds each reply before passing it on
};

// How velmora-cli ports lists them.
struct PortsRequest {
    bool json = false;  // JSON Lines instead of the list
};

// What velmora-cli history shows.
struct HistoryRequest {
    std::string record;  // an SQLite file's path or a PostgreSQL URI, as --record was given
    bool json = false;   // JSON Lines instead of the table
    HistoryFilter filter;
};

// Loads the file as the window's browse command does, then runs the twelve steps of an update on
// every port at once, each over the line that `surroundings` gives its port.
int WriteCommand(const WriteRequest& request, const Surroundings& surroundings);
// The file's summary, its image's blocks and the time a run would take, at the design's pacing
// and with --fast, each with --verify and --read-back.
int InfoCommand(const InfoRequest& request);
// The serial ports of this machine, one a line or one JSON object a line.
int PortsCommand(const PortsRequest& request);
// The records kept at request.record that its filter lets through.
int HistoryCommand(const HistoryRequest& request);
