// The records of the runs, one row a board and run in the table runs: an SQLite file on this
// machine or a PostgreSQL database that several stations share. Every call returns its problem
// as one line ("what failed: why"), empty when it succeeded. A store is used by one thread at a
// time.
//
// A write opens its store for RecordAccess::Write and calls Prepare before any port opens; then,
// in the order its ports were given, Begin for each board before the board's run (its serial
// number comes back in the ticket, to be written into its image), and Finish when that run ends.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "record/run_record.h"

class RecordStore {
public:
    virtual ~RecordStore() = default;

    // Creates the table when it is missing and proves that a row can be written. The write
    // command calls it before any port opens, so that no board is programmed unrecorded.
    virtual std::string Prepare() = 0;
    // Writes the row of a board whose run starts, with the next serial number when `serial` asks
    // for one, in one transaction: two stations never hand out one number, and a number once
    // written is never handed out again, whether or not its run is finished.
    virtual std::string Begin(const RunStart& start, const std::optional<SerialRequest>& serial,
                              RunTicket& ticket) = 0;
    // Completes the row of `ticket` with how its run ended.
    virtual std::string Finish(const RunTicket& ticket, const RunFinish& finish) = 0;
    // The rows that `filter` lets through, oldest first.
    virtual std::string Read(const HistoryFilter& filter, std::vector<RunRecord>& records) = 0;
};

enum class RecordAccess {
    Write,  // created when missing (an SQLite file); Prepare before the first Begin
    Read    // must exist; only Read is called
};

// The store at `location`: an SQLite file's path or a PostgreSQL URI. Null, with the one line
// in `problem`, when it cannot be opened.
std::unique_ptr<RecordStore> OpenRecordStore(const std::string& location, RecordAccess access,
                                             std::string& problem);
