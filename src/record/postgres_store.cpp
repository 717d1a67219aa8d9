// The records in PostgreSQL through libpq. Serial numbers are handed out under a transaction-level
// advisory lock of their address, so that stations allocating at one address run one after the
// other and each reads the highest number that the one before committed; the unique index on
// (serial_address, serial) stands behind the rule. Every value travels as a bound parameter.
#include "record/postgres_store.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "record/record_location.h"
#include "record/run_columns.h"
#include "record/serial_allocation.h"

namespace {

// The advisory locks' keys: "VELM" and 0 (two int4 keys) while the table is created; "VELM" in the
// high half and the address in the low half (one bigint key, a space of its own) for a number.
const char kSchemaLock[] = "SELECT pg_advisory_xact_lock(1447382093, 0)";
const int64_t kSerialLockBase = static_cast<int64_t>(0x56454C4D) << 32;
// A station that cannot reach the server says so rather than hanging; a URI may ask otherwise.
const char kConnectSeconds[] = "10";

const char kTable[] =
    "CREATE TABLE IF NOT EXISTS runs ("
    " id BIGSERIAL PRIMARY KEY,"
    " started_at TEXT NOT NULL,"
    " station TEXT NOT NULL,"
    " port TEXT NOT NULL,"
    " adapter TEXT,"
    " firmware TEXT NOT NULL,"
    " firmware_sha256 TEXT NOT NULL,"
    " image_sum TEXT NOT NULL,"
    " serial_address BIGINT,"
    " serial BIGINT,"
    " bit_rate INTEGER NOT NULL,"
    " ok BOOLEAN,"
    " exit_code INTEGER,"
    " step INTEGER,"
    " message TEXT,"
    " seconds DOUBLE PRECISION,"
    " velmora_version TEXT NOT NULL,"
    " UNIQUE (serial_address, serial))";
const char kIndexes[] =
    "CREATE INDEX IF NOT EXISTS runs_port ON runs (port);"
    "CREATE INDEX IF NOT EXISTS runs_serial ON runs (serial);";

const char kInsert[] =
    "INSERT INTO runs (started_at, station, port, adapter, firmware, firmware_sha256, image_sum,"
    " serial_address, serial, bit_rate, velmora_version)"
    " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11) RETURNING id";

struct FinishConnection {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct ClearResult {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ClearResult>;

// Text parameters; a missing value is SQL's null.
class Parameters {
public:
    void Add(const std::string& text) {
        values_.push_back(text);
        present_.push_back(true);
    }
    void Add(int64_t number) { Add(std::to_string(number)); }
    void AddNull() {
        values_.emplace_back();
        present_.push_back(false);
    }
    template <typename T>
    void Add(const std::optional<T>& value) {
        if (value) {
            Add(static_cast<int64_t>(*value));
        } else {
            AddNull();
        }
    }
    int Count() const { return static_cast<int>(values_.size()); }
    std::vector<const char*> Pointers() const {
        std::vector<const char*> pointers;
        for (size_t i = 0; i < values_.size(); ++i) {
            pointers.push_back(present_[i] ? values_[i].c_str() : nullptr);
        }
        return pointers;
    }

private:
    std::vector<std::string> values_;
    std::vector<bool> present_;
};

std::string Field(PGresult* result, int row, int column) {
    return PQgetvalue(result, row, column);
}

bool IsNull(PGresult* result, int row, int column) {
    return PQgetisnull(result, row, column) != 0;
}

std::optional<uint32_t> Serial(PGresult* result, int row, int column) {
    if (IsNull(result, row, column)) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(std::strtoll(PQgetvalue(result, row, column), nullptr, 10));
}

// libpq's message, on one line.
std::string ErrorText(PGconn* connection) {
    std::string why = connection ? PQerrorMessage(connection) : "out of memory";
    std::replace(why.begin(), why.end(), '\n', ' ');
    while (!why.empty() && why.back() == ' ') {
        why.pop_back();
    }
    return why;
}

int Integer(PGresult* result, int row, int column) {
    return std::atoi(PQgetvalue(result, row, column));
}

class PostgresStore : public RecordStore {
public:
    PostgresStore(PGconn* connection, const std::string& location)
        : connection_(connection), location_(location) {}

    std::string Prepare() override {
        // Two stations creating the table at once would collide in the catalogue: the first
        // creates it, the second waits and finds it.
        std::string problem;
        const char* steps[] = {"BEGIN", kSchemaLock, kTable};
        for (const char* sql : steps) {
            if (problem.empty()) {
                problem = Command(sql, Parameters());
            }
        }
        // A table runs of another program's lacks a column that this one reads.
        if (problem.empty()) {
            Result columns(
                PQexec(connection_.get(),
                       (std::string("SELECT ") + kRunColumns + " FROM runs LIMIT 0").c_str()));
            if (PQresultStatus(columns.get()) != PGRES_TUPLES_OK) {
                problem = location_ +
                          ": its table runs is not velmora-cli's record: " + Why(columns.get());
            }
        }
        // Rows are written by Begin: the probe's row proves that they can be, then goes.
        const char* more[] = {kIndexes, "SAVEPOINT probe"};
        for (const char* sql : more) {
            if (problem.empty()) {
                problem = Command(sql, Parameters());
            }
        }
        int64_t id = 0;
        if (problem.empty()) {
            problem = Insert(RunStart(), std::nullopt, std::nullopt, id);
        }
        if (problem.empty()) {
            problem = Command("ROLLBACK TO SAVEPOINT probe", Parameters());
        }
        if (!problem.empty()) {
            return RolledBack(problem);
        }
        return Command("COMMIT", Parameters());
    }

    std::string Begin(const RunStart& start, const std::optional<SerialRequest>& serial,
                      RunTicket& ticket) override {
        std::string problem = Command("BEGIN", Parameters());
        if (!problem.empty()) {
            return problem;
        }
        std::optional<uint32_t> number;
        if (serial) {
            Parameters lock;
            lock.Add(kSerialLockBase + serial->address);
            problem = Command("SELECT pg_advisory_xact_lock($1)", lock);
            Parameters address;
            address.Add(static_cast<int64_t>(serial->address));
            Result highest;
            if (problem.empty()) {
                problem = Query("SELECT MAX(serial) FROM runs WHERE serial_address = $1", address,
                                highest);
            }
            uint32_t next = 0;
            if (problem.empty()) {
                std::optional<int64_t> recorded;
                if (!IsNull(highest.get(), 0, 0)) {
                    recorded = std::strtoll(PQgetvalue(highest.get(), 0, 0), nullptr, 10);
                }
                problem = NextSerial(*serial, recorded, next);
            }
            if (!problem.empty()) {
                return RolledBack(problem);
            }
            number = next;
        }
        int64_t id = 0;
        RunStart row = start;
        if (number && serial->imageSum) {
            row.imageSum = serial->imageSum(*number);
        }
        problem = Insert(row, serial ? std::optional<uint32_t>(serial->address) : std::nullopt,
                         number, id);
        if (problem.empty()) {
            problem = Command("COMMIT", Parameters());
        }
        if (!problem.empty()) {
            return RolledBack(problem);
        }
        ticket.id = id;
        ticket.serial = number;
        return std::string();
    }

    std::string Finish(const RunTicket& ticket, const RunFinish& finish) override {
        Parameters values;
        values.Add(std::string(finish.ok ? "true" : "false"));
        values.Add(static_cast<int64_t>(finish.exitCode));
        values.Add(finish.step > 0 ? std::optional<int>(finish.step) : std::nullopt);
        values.Add(finish.message);
        values.Add(std::to_string(finish.seconds));
        values.Add(static_cast<int64_t>(finish.bitRate));
        values.Add(ticket.id);
        Result result;
        const std::string problem = Query(
            "UPDATE runs SET ok = $1, exit_code = $2, step = $3, message = $4, seconds = $5,"
            " bit_rate = $6 WHERE id = $7",
            values, result);
        if (!problem.empty()) {
            return problem;
        }
        if (std::string(PQcmdTuples(result.get())) != "1") {
            return location_ + ": the run's row " + std::to_string(ticket.id) + " is gone";
        }
        return std::string();
    }

    std::string Read(const HistoryFilter& filter, std::vector<RunRecord>& records) override {
        std::string sql = std::string("SELECT ") + kRunColumns + " FROM runs WHERE true";
        Parameters values;
        if (filter.serial) {
            values.Add(static_cast<int64_t>(*filter.serial));
            sql += " AND serial = $" + std::to_string(values.Count());
        }
        if (!filter.port.empty()) {
            values.Add(filter.port);
            sql += " AND port = $" + std::to_string(values.Count());
        }
        // The last rows first, so that LIMIT keeps them; turned round below.
        sql += " ORDER BY id DESC";
        if (filter.last > 0) {
            values.Add(static_cast<int64_t>(filter.last));
            sql += " LIMIT $" + std::to_string(values.Count());
        }
        Result result;
        const std::string problem = Query(sql.c_str(), values, result);
        if (!problem.empty()) {
            return problem;
        }
        records.clear();
        for (int row = PQntuples(result.get()) - 1; row >= 0; --row) {
            records.push_back(RecordOf(result.get(), row));
        }
        return std::string();
    }

private:
    static RunRecord RecordOf(PGresult* r, int row) {
        RunRecord record;
        record.id = std::strtoll(PQgetvalue(r, row, 0), nullptr, 10);
        record.start.startedAt = Field(r, row, 1);
        record.start.station = Field(r, row, 2);
        record.start.port = Field(r, row, 3);
        record.start.adapter = Field(r, row, 4);
        record.start.firmware = Field(r, row, 5);
        record.start.firmwareSha256 = Field(r, row, 6);
        record.start.imageSum = ImageSumValue(Field(r, row, 7));
        record.serialAddress = Serial(r, row, 8);
        record.serial = Serial(r, row, 9);
        record.start.bitRate = Integer(r, row, 10);
        record.start.velmoraVersion = Field(r, row, 16);
        if (!IsNull(r, row, 11)) {
            RunFinish finish;
            finish.ok = Field(r, row, 11) == "t";
            finish.exitCode = Integer(r, row, 12);
            finish.step = IsNull(r, row, 13) ? 0 : Integer(r, row, 13);
            finish.message = Field(r, row, 14);
            finish.seconds = std::strtod(PQgetvalue(r, row, 15), nullptr);
            finish.bitRate = record.start.bitRate;
            record.finish = finish;
        }
        return record;
    }

    std::string Query(const char* sql, const Parameters& values, Result& result) {
        const std::vector<const char*> pointers = values.Pointers();
        result.reset(PQexecParams(connection_.get(), sql, values.Count(), nullptr,
                                  pointers.empty() ? nullptr : pointers.data(), nullptr, nullptr,
                                  0));
        return Checked(result.get());
    }

    // Several statements at once when there are no parameters (the schema).
    std::string Command(const char* sql, const Parameters& values) {
        if (values.Count() > 0) {
            Result result;
            return Query(sql, values, result);
        }
        Result result(PQexec(connection_.get(), sql));
        return Checked(result.get());
    }

    std::string Checked(PGresult* result) {
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
            return std::string();
        }
        return location_ + ": " + Why(result);
    }

    // The server's own sentence where it sent one (without the statement it quotes), else
    // libpq's.
    std::string Why(PGresult* result) {
        const char* primary =
            result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        return primary ? primary : ErrorText(connection_.get());
    }

    // The transaction is given up; the first problem is the one to tell.
    std::string RolledBack(const std::string& problem) {
        Result(PQexec(connection_.get(), "ROLLBACK"));
        return problem;
    }

    std::string Insert(const RunStart& start, std::optional<uint32_t> address,
                       std::optional<uint32_t> serial, int64_t& id) {
        Parameters values;
        values.Add(start.startedAt);
        values.Add(start.station);
        values.Add(start.port);
        if (start.adapter.empty()) {
            values.AddNull();
        } else {
            values.Add(start.adapter);
        }
        values.Add(start.firmware);
        values.Add(start.firmwareSha256);
        values.Add(ImageSumText(start.imageSum));
        values.Add(address);
        values.Add(serial);
        values.Add(static_cast<int64_t>(start.bitRate));
        values.Add(start.velmoraVersion);
        Result result;
        const std::string problem = Query(kInsert, values, result);
        if (problem.empty()) {
            id = std::strtoll(PQgetvalue(result.get(), 0, 0), nullptr, 10);
        }
        return problem;
    }

    std::unique_ptr<PGconn, FinishConnection> connection_;
    const std::string location_;
};

}  // namespace

std::unique_ptr<RecordStore> OpenPostgresStore(const std::string& uri, std::string& problem) {
    const char* keywords[] = {"connect_timeout", "dbname", nullptr};
    const char* values[] = {kConnectSeconds, uri.c_str(), nullptr};
    std::unique_ptr<PGconn, FinishConnection> connection(PQconnectdbParams(keywords, values, 1));
    const std::string shown = LocationText(uri);
    if (!connection || PQstatus(connection.get()) != CONNECTION_OK) {
        problem = shown + ": cannot connect: " + ErrorText(connection.get());
        return nullptr;
    }
    // Text in and out is UTF-8, whatever the server's encoding.
    if (PQsetClientEncoding(connection.get(), "UTF8") != 0) {
        problem = shown + ": the server does not take UTF-8";
        return nullptr;
    }
    // Notices (a table that exists already) are not the operator's business.
    PQsetNoticeProcessor(
        connection.get(), [](void*, const char*) {}, nullptr);
    return std::make_unique<PostgresStore>(connection.release(), shown);
}
