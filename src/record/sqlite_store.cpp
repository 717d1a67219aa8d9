// The records in an SQLite file. Writers take the file's write lock when their transaction
// begins (BEGIN IMMEDIATE), so that two processes handing out serial numbers run one after the
// other, each reading the highest number that the other committed.
#include "record/sqlite_store.h"

#include <sqlite3.h>

#include <algorithm>

#include "record/run_columns.h"
#include "record/serial_allocation.h"

namespace {

// Another station's transaction holds the lock for milliseconds; this is for a slow disk.
const int kBusyMilliseconds = 10000;

const char kTable[] =
    "CREATE TABLE IF NOT EXISTS runs ("
    " id INTEGER PRIMARY KEY,"
    " started_at TEXT NOT NULL,"
    " station TEXT NOT NULL,"
    " port TEXT NOT NULL,"
    " adapter TEXT,"
    " firmware TEXT NOT NULL,"
    " firmware_sha256 TEXT NOT NULL,"
    " image_sum TEXT NOT NULL,"
    " serial_address INTEGER,"
    " serial INTEGER,"
    " bit_rate INTEGER NOT NULL,"
    " ok INTEGER,"
    " exit_code INTEGER,"
    " step INTEGER,"
    " message TEXT,"
    " seconds REAL,"
    " velmora_version TEXT NOT NULL,"
    " UNIQUE (serial_address, serial))";
const char kIndexes[] =
    "CREATE INDEX IF NOT EXISTS runs_port ON runs (port);"
    "CREATE INDEX IF NOT EXISTS runs_serial ON runs (serial);";

const char kInsert[] =
    "INSERT INTO runs (started_at, station, port, adapter, firmware, firmware_sha256, image_sum,"
    " serial_address, serial, bit_rate, velmora_version)"
    " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

struct CloseDatabase {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

std::string Text(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<size_t>(sqlite3_column_bytes(statement, column)))
                : std::string();
}

bool IsNull(sqlite3_stmt* statement, int column) {
    return sqlite3_column_type(statement, column) == SQLITE_NULL;
}

std::optional<uint32_t> Serial(sqlite3_stmt* statement, int column) {
    if (IsNull(statement, column)) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(sqlite3_column_int64(statement, column));
}

class SqliteStore : public RecordStore {
public:
    SqliteStore(sqlite3* db, const std::string& path) : db_(db), path_(path) {}

    std::string Prepare() override {
        std::string problem = Execute("BEGIN IMMEDIATE");
        if (problem.empty()) {
            problem = Execute(kTable);
        }
        if (problem.empty()) {
            problem = ColumnsProblem();
        }
        // Rows are written by Begin: the probe's row proves that they can be, then goes.
        const char* steps[] = {kIndexes, "SAVEPOINT probe"};
        for (const char* sql : steps) {
            if (problem.empty()) {
                problem = Execute(sql);
            }
        }
        if (problem.empty()) {
            problem = Insert(RunStart(), std::nullopt, std::nullopt);
        }
        if (problem.empty()) {
            problem = Execute("ROLLBACK TO probe");
        }
        if (!problem.empty()) {
            return RolledBack(problem);
        }
        return Execute("COMMIT");
    }

    std::string Begin(const RunStart& start, const std::optional<SerialRequest>& serial,
                      RunTicket& ticket) override {
        std::string problem = Execute("BEGIN IMMEDIATE");
        if (!problem.empty()) {
            return problem;
        }
        std::optional<uint32_t> number;
        if (serial) {
            std::optional<int64_t> highest;
            problem = Highest(serial->address, highest);
            uint32_t next = 0;
            if (problem.empty()) {
                problem = NextSerial(*serial, highest, next);
            }
            if (!problem.empty()) {
                return RolledBack(problem);
            }
            number = next;
        }
        RunStart row = start;
        if (number && serial->imageSum) {
            row.imageSum = serial->imageSum(*number);
        }
        problem =
            Insert(row, serial ? std::optional<uint32_t>(serial->address) : std::nullopt, number);
        if (!problem.empty()) {
            return RolledBack(problem);
        }
        const int64_t id = sqlite3_last_insert_rowid(db_.get());
        problem = Execute("COMMIT");
        if (!problem.empty()) {
            return RolledBack(problem);
        }
        ticket.id = id;
        ticket.serial = number;
        return std::string();
    }

    std::string Finish(const RunTicket& ticket, const RunFinish& finish) override {
        Statement statement;
        std::string problem = Compile(
            "UPDATE runs SET ok = ?, exit_code = ?, step = ?, message = ?, seconds = ?,"
            " bit_rate = ? WHERE id = ?",
            statement);
        if (!problem.empty()) {
            return problem;
        }
        sqlite3_stmt* s = statement.get();
        sqlite3_bind_int(s, 1, finish.ok ? 1 : 0);
        sqlite3_bind_int(s, 2, finish.exitCode);
        if (finish.step > 0) {
            sqlite3_bind_int(s, 3, finish.step);
        }
        sqlite3_bind_text(s, 4, finish.message.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(s, 5, finish.seconds);
        sqlite3_bind_int(s, 6, finish.bitRate);
        sqlite3_bind_int64(s, 7, ticket.id);
        if (sqlite3_step(s) != SQLITE_DONE) {
            return Failed("cannot complete the run's row");
        }
        if (sqlite3_changes(db_.get()) != 1) {
            return path_ + ": the run's row " + std::to_string(ticket.id) + " is gone";
        }
        return std::string();
    }

    std::string Read(const HistoryFilter& filter, std::vector<RunRecord>& records) override {
        std::string sql = std::string("SELECT ") + kRunColumns + " FROM runs WHERE 1 = 1";
        if (filter.serial) {
            sql += " AND serial = ?";
        }
        if (!filter.port.empty()) {
            sql += " AND port = ?";
        }
        // The last rows first, so that LIMIT keeps them; turned round below.
        sql += " ORDER BY id DESC";
        if (filter.last > 0) {
            sql += " LIMIT ?";
        }
        Statement statement;
        std::string problem = Compile(sql.c_str(), statement);
        if (!problem.empty()) {
            return problem;
        }
        sqlite3_stmt* s = statement.get();
        int parameter = 0;
        if (filter.serial) {
            sqlite3_bind_int64(s, ++parameter, *filter.serial);
        }
        if (!filter.port.empty()) {
            sqlite3_bind_text(s, ++parameter, filter.port.c_str(), -1, SQLITE_TRANSIENT);
        }
        if (filter.last > 0) {
            sqlite3_bind_int(s, ++parameter, filter.last);
        }
        records.clear();
        int result = SQLITE_ROW;
        while ((result = sqlite3_step(s)) == SQLITE_ROW) {
            records.push_back(RecordOf(s));
        }
        if (result != SQLITE_DONE) {
            return Failed("cannot read the runs");
        }
        std::reverse(records.begin(), records.end());
        return std::string();
    }

private:
    static RunRecord RecordOf(sqlite3_stmt* s) {
        RunRecord record;
        record.id = sqlite3_column_int64(s, 0);
        record.start.startedAt = Text(s, 1);
        record.start.station = Text(s, 2);
        record.start.port = Text(s, 3);
        record.start.adapter = Text(s, 4);
        record.start.firmware = Text(s, 5);
        record.start.firmwareSha256 = Text(s, 6);
        record.start.imageSum = ImageSumValue(Text(s, 7));
        record.serialAddress = Serial(s, 8);
        record.serial = Serial(s, 9);
        record.start.bitRate = sqlite3_column_int(s, 10);
        record.start.velmoraVersion = Text(s, 16);
        if (!IsNull(s, 11)) {
            RunFinish finish;
            finish.ok = sqlite3_column_int(s, 11) != 0;
            finish.exitCode = sqlite3_column_int(s, 12);
            finish.step = sqlite3_column_int(s, 13);
            finish.message = Text(s, 14);
            finish.seconds = sqlite3_column_double(s, 15);
            finish.bitRate = record.start.bitRate;
            record.finish = finish;
        }
        return record;
    }

    // The statements' texts are constants or built from constants: values are always bound.
    std::string Compile(const char* sql, Statement& statement) {
        sqlite3_stmt* compiled = nullptr;
        if (sqlite3_prepare_v2(db_.get(), sql, -1, &compiled, nullptr) != SQLITE_OK) {
            return Failed("cannot use the table runs");
        }
        statement.reset(compiled);
        return std::string();
    }

    std::string Execute(const char* sql) {
        char* error = nullptr;
        if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, &error) == SQLITE_OK) {
            return std::string();
        }
        const std::string why = error ? error : sqlite3_errmsg(db_.get());
        sqlite3_free(error);
        return path_ + ": " + why;
    }

    std::string Failed(const char* what) {
        return path_ + ": " + what + ": " + sqlite3_errmsg(db_.get());
    }

    // The transaction is given up; the first problem is the one to tell.
    std::string RolledBack(const std::string& problem) {
        Execute("ROLLBACK");
        return problem;
    }

    std::string Highest(uint32_t address, std::optional<int64_t>& highest) {
        Statement statement;
        std::string problem =
            Compile("SELECT MAX(serial) FROM runs WHERE serial_address = ?", statement);
        if (!problem.empty()) {
            return problem;
        }
        sqlite3_bind_int64(statement.get(), 1, address);
        if (sqlite3_step(statement.get()) != SQLITE_ROW) {
            return Failed("cannot read the serial numbers");
        }
        if (!IsNull(statement.get(), 0)) {
            highest = sqlite3_column_int64(statement.get(), 0);
        }
        return std::string();
    }

    std::string Insert(const RunStart& start, std::optional<uint32_t> address,
                       std::optional<uint32_t> serial) {
        Statement statement;
        std::string problem = Compile(kInsert, statement);
        if (!problem.empty()) {
            return problem;
        }
        sqlite3_stmt* s = statement.get();
        const std::string sum = ImageSumText(start.imageSum);
        const std::string* texts[] = {
            &start.startedAt, &start.station,        &start.port, &start.adapter,
            &start.firmware,  &start.firmwareSha256, &sum};
        for (int i = 0; i < 7; ++i) {
            // An unknown adapter is null, not an empty name.
            if (i != 3 || !texts[i]->empty()) {
                sqlite3_bind_text(s, i + 1, texts[i]->c_str(), -1, SQLITE_TRANSIENT);
            }
        }
        if (address) {
            sqlite3_bind_int64(s, 8, *address);
        }
        if (serial) {
            sqlite3_bind_int64(s, 9, *serial);
        }
        sqlite3_bind_int(s, 10, start.bitRate);
        sqlite3_bind_text(s, 11, start.velmoraVersion.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(s) != SQLITE_DONE) {
            return Failed("cannot write a row");
        }
        return std::string();
    }

    // A table runs of another program's lacks a column that this one reads.
    std::string ColumnsProblem() {
        Statement statement;
        const std::string sql = std::string("SELECT ") + kRunColumns + " FROM runs LIMIT 0";
        sqlite3_stmt* compiled = nullptr;
        if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &compiled, nullptr) != SQLITE_OK) {
            return path_ +
                   ": its table runs is not velmora-cli's record: " + sqlite3_errmsg(db_.get());
        }
        statement.reset(compiled);
        return std::string();
    }

    std::unique_ptr<sqlite3, CloseDatabase> db_;
    const std::string path_;
};

}  // namespace

std::unique_ptr<RecordStore> OpenSqliteStore(const std::string& path, RecordAccess access,
                                             std::string& problem) {
    const int flags = access == RecordAccess::Write ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                                                    : SQLITE_OPEN_READONLY;
    sqlite3* opened = nullptr;
    const int result = sqlite3_open_v2(path.c_str(), &opened, flags, nullptr);
    std::unique_ptr<sqlite3, CloseDatabase> db(opened);
    if (result != SQLITE_OK) {
        problem = path + ": cannot open the record: " +
                  (opened ? sqlite3_errmsg(opened) : sqlite3_errstr(result));
        return nullptr;
    }
    sqlite3_busy_timeout(db.get(), kBusyMilliseconds);
    sqlite3_extended_result_codes(db.get(), 1);
    return std::make_unique<SqliteStore>(db.release(), path);
}
