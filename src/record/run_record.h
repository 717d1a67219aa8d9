// One board's run as the record keeps it: a row of the table runs, written when the run starts
// and completed when it ends.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// What is known when a board's run starts.
struct RunStart {
    std::string startedAt;       // UTC, ISO 8601: UtcTimestamp()
    std::string station;         // StationName()
    std::string port;            // as given
    std::string adapter;         // the by-id name or USB serial number; empty when unknown
    std::string firmware;        // the path as given
    std::string firmwareSha256;  // Sha256Hex() of the file's bytes
    uint32_t imageSum = 0;       // the board's image's user-MAT sum
    int bitRate = 0;             // the rate the run means to program at
    std::string velmoraVersion;
};

// How the run ended.
struct RunFinish {
    bool ok = false;
    int exitCode = 0;
    int step = 0;         // the failed step, [01] to [11]; 0 for none
    std::string message;  // the outcome line
    double seconds = 0;
    int bitRate = 0;  // the rate it programmed at (a fallback may have lowered it)
};

// A serial number to hand out with the row: the next after the highest recorded at `address`,
// and `start` for the first (or to jump ahead; never back).
struct SerialRequest {
    uint32_t address = 0;
    std::optional<uint32_t> start;
    // The board's image sum once its number is in it, for the row's image_sum; without it the
    // row keeps RunStart's.
    std::function<uint32_t(uint32_t serial)> imageSum;
};

// The row that Begin wrote, for its Finish.
struct RunTicket {
    int64_t id = 0;
    std::optional<uint32_t> serial;
};

// A row as read back.
struct RunRecord {
    int64_t id = 0;
    RunStart start;
    std::optional<uint32_t> serialAddress;
    std::optional<uint32_t> serial;
    std::optional<RunFinish> finish;  // none: allocated, never finished (a crash, a lost store)
};

// Which rows history shows.
struct HistoryFilter {
    std::optional<uint32_t> serial;
    std::string port;  // as the write was given it; empty for every port
    int last = 0;      // only the last this many that match; 0 for all
};
