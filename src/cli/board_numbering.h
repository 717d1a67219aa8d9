// Each board of a write gets its own number and its record's row before any port opens: numbers
// in the order the ports were given, each board's image with its number in it, and the row's
// ticket for the end of its run.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bootmode/firmware_image.h"
#include "cli/run_conclusion.h"
#include "cli/serial_number.h"
#include "record/record_store.h"
#include "record/run_record.h"

struct BoardIdentity {
    std::optional<uint32_t> serial;
    std::shared_ptr<const FirmwareImage> image;  // the shared one when no number goes in
    std::optional<RunTicket> ticket;             // none without a record
};

// What is the same for every board of the write.
struct NumberingPlan {
    std::optional<SerialLayout> serial;
    std::optional<uint32_t> serialStart;
    RunStart start;  // without port and adapter, which each board fills in
};

// One identity a port, in `identities`. Without a store the numbers are serialStart and those
// that follow it; with one, the store hands them out in its transaction with each board's row.
// The problem, empty when every board has its identity; a board that got a row before the
// problem keeps it, finished as failed, so that its number is never handed out again.
std::string NumberBoards(const std::vector<std::string>& ports,
                         const std::vector<std::string>& adapters,
                         const std::shared_ptr<const FirmwareImage>& image,
                         const NumberingPlan& plan, RecordStore* store,
                         std::vector<BoardIdentity>& identities);

// How a board's run ended, as its row keeps it.
RunFinish FinishedRun(const RunConclusion& conclusion, const RunOutcome& outcome);
// The outcome line with the board's number in it: "... Serial 5012." after a success, "...
// (serial 5012)" after a failure; unchanged without a number.
RunConclusion WithSerial(RunConclusion conclusion, std::optional<uint32_t> serial);
