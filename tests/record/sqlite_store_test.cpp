// The SQLite store in process: the table it creates, rows written and read back, the serial
// numbers it hands out, a run that never finished, history's filters, and the stores it refuses.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "record/record_store.h"

namespace {

class SqliteStoreTest : public testing::Test {
protected:
    void SetUp() override {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        path_ = testing::TempDir() + "velmora-" + test->name() + ".sqlite";
        std::remove(path_.c_str());
    }
    void TearDown() override { std::remove(path_.c_str()); }

    std::unique_ptr<RecordStore> Open(RecordAccess access = RecordAccess::Write) {
        std::string problem;
        std::unique_ptr<RecordStore> store = OpenRecordStore(path_, access, problem);
        EXPECT_TRUE(store) << problem;
        if (store && access == RecordAccess::Write) {
            EXPECT_EQ("", store->Prepare());
        }
        return store;
    }

    static RunStart Start(const std::string& port) {
        RunStart start;
        start.startedAt = "2026-03-06T16:01:44Z";
        start.station = "line-3";
        start.port = port;
        start.adapter = "usb-FTDI_FT232R_USB_UART_A9XK2L1Q-if00-port0";
        start.firmware = "build/app.mot";
        start.firmwareSha256 = std::string(64, 'e');
        start.imageSum = 0x0012ABCD;
        start.bitRate = 57600;
        start.velmoraVersion = "0.8.35.115";
        return start;
    }

    // Begins a run on `port` with a number at `address`; the number handed out.
    static uint32_t Numbered(RecordStore& store, const std::string& port, uint32_t address,
                             std::optional<uint32_t> first = std::nullopt) {
        RunTicket ticket;
        EXPECT_EQ("", store.Begin(Start(port), SerialRequest{address, first, nullptr}, ticket));
        EXPECT_TRUE(ticket.serial);
        return ticket.serial.value_or(0);
    }

    std::vector<RunRecord> History(RecordStore& store, const HistoryFilter& filter) {
        std::vector<RunRecord> records;
        EXPECT_EQ("", store.Read(filter, records));
        return records;
    }

    std::string path_;
};

TEST_F(SqliteStoreTest, CreatesTheTableRunsWithTheColumnsOfTheRecord) {
    ASSERT_TRUE(Open());
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr));
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(db, "SELECT name FROM pragma_table_info('runs')", -1,
                                            &statement, nullptr));
    std::vector<std::string> columns;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        columns.push_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    const std::vector<std::string> expected = {"id",
                                               "started_at",
                                               "station",
                                               "port",
                                               "adapter",
                                               "firmware",
                                               "firmware_sha256",
                                               "image_sum",
                                               "serial_address",
                                               "serial",
                                               "bit_rate",
                                               "ok",
                                               "exit_code",
                                               "step",
                                               "message",
                                               "seconds",
                                               "velmora_version"};
    EXPECT_EQ(expected, columns);
}

TEST_F(SqliteStoreTest, ReadsBackARunAsItWasWrittenAndCompleted) {
    {
        std::unique_ptr<RecordStore> store = Open();
        ASSERT_TRUE(store);
        RunTicket ticket;
        ASSERT_EQ(
            "", store->Begin(Start("/dev/ttyUSB0"), SerialRequest{0x7FF0, 5012, nullptr}, ticket));
        RunFinish finish;
        finish.ok = false;
        finish.exitCode = 21;
        finish.step = 11;
        finish.message = "ttyUSB0: step [11] failed: no reply";
        finish.seconds = 41.25;
        finish.bitRate = 38400;
        ASSERT_EQ("", store->Finish(ticket, finish));
        RunTicket plain;
        RunStart unknownAdapter = Start("/dev/ttyUSB1");
        unknownAdapter.adapter.clear();
        ASSERT_EQ("", store->Begin(unknownAdapter, std::nullopt, plain));
        EXPECT_FALSE(plain.serial);
    }
    std::unique_ptr<RecordStore> reader = Open(RecordAccess::Read);
    ASSERT_TRUE(reader);
    const std::vector<RunRecord> records = History(*reader, HistoryFilter());
    ASSERT_EQ(2u, records.size());
    const RunRecord& run = records[0];
    const RunStart expected = Start("/dev/ttyUSB0");
    EXPECT_EQ(expected.startedAt, run.start.startedAt);
    EXPECT_EQ(expected.station, run.start.station);
    EXPECT_EQ(expected.port, run.start.port);
    EXPECT_EQ(expected.adapter, run.start.adapter);
    EXPECT_EQ(expected.firmware, run.start.firmware);
    EXPECT_EQ(expected.firmwareSha256, run.start.firmwareSha256);
    EXPECT_EQ(expected.imageSum, run.start.imageSum);
    EXPECT_EQ(expected.velmoraVersion, run.start.velmoraVersion);
    EXPECT_EQ(0x7FF0u, run.serialAddress.value_or(0));
    EXPECT_EQ(5012u, run.serial.value_or(0));
    ASSERT_TRUE(run.finish);
    EXPECT_FALSE(run.finish->ok);
    EXPECT_EQ(21, run.finish->exitCode);
    EXPECT_EQ(11, run.finish->step);
    EXPECT_EQ("ttyUSB0: step [11] failed: no reply", run.finish->message);
    EXPECT_DOUBLE_EQ(41.25, run.finish->seconds);
    // The rate the run ended at replaces the one it meant to use.
    EXPECT_EQ(38400, run.start.bitRate);
    EXPECT_EQ("", records[1].start.adapter);
    EXPECT_FALSE(records[1].serial);
    EXPECT_FALSE(records[1].serialAddress);
}

TEST_F(SqliteStoreTest, HandsOutTheNumberAfterTheHighestRecordedAtItsAddress) {
    std::unique_ptr<RecordStore> store = Open();
    ASSERT_TRUE(store);
    RunTicket ticket;
    const std::string refused =
        store->Begin(Start("a"), SerialRequest{0x100, std::nullopt, nullptr}, ticket);
    EXPECT_NE(std::string::npos, refused.find("0x00000100")) << refused;
    EXPECT_NE(std::string::npos, refused.find("--serial-start")) << refused;

    EXPECT_EQ(5000u, Numbered(*store, "a", 0x100, 5000));
    EXPECT_EQ(5001u, Numbered(*store, "b", 0x100));
    // Another address counts on its own.
    EXPECT_EQ(1u, Numbered(*store, "a", 0x200, 1));
    // A start below what was handed out never goes back; one above moves ahead.
    EXPECT_EQ(5002u, Numbered(*store, "a", 0x100, 4000));
    EXPECT_EQ(9000u, Numbered(*store, "a", 0x100, 9000));
    EXPECT_EQ(9001u, Numbered(*store, "b", 0x100));
    EXPECT_EQ(2u, Numbered(*store, "a", 0x200));

    // The last number there is has no next.
    EXPECT_EQ(0xFFFFFFFFu, Numbered(*store, "a", 0x300, 0xFFFFFFFF));
    EXPECT_NE("", store->Begin(Start("a"), SerialRequest{0x300, std::nullopt, nullptr}, ticket));
}

TEST_F(SqliteStoreTest, KeepsANumberWhoseRunNeverFinished) {
    {
        std::unique_ptr<RecordStore> store = Open();
        ASSERT_TRUE(store);
        EXPECT_EQ(7u, Numbered(*store, "/dev/ttyUSB0", 0x7FF0, 7));
        // The station goes away here, its run unfinished.
    }
    std::unique_ptr<RecordStore> store = Open();
    ASSERT_TRUE(store);
    const std::vector<RunRecord> records = History(*store, HistoryFilter());
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(7u, records[0].serial.value_or(0));
    EXPECT_FALSE(records[0].finish);
    EXPECT_EQ(8u, Numbered(*store, "/dev/ttyUSB0", 0x7FF0, 7));
}

TEST_F(SqliteStoreTest, HistoryFiltersByPortAndSerialAndKeepsTheLastOldestFirst) {
    std::unique_ptr<RecordStore> store = Open();
    ASSERT_TRUE(store);
    const char* ports[] = {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB0", "/dev/ttyUSB1",
                           "/dev/ttyUSB0"};
    for (size_t i = 0; i < 5; ++i) {
        Numbered(*store, ports[i], 0x7FF0, 100);
    }
    auto serials = [&](const HistoryFilter& filter) {
        std::vector<uint32_t> found;
        for (const RunRecord& record : History(*store, filter)) {
            found.push_back(record.serial.value_or(0));
        }
        return found;
    };
    HistoryFilter filter;
    EXPECT_EQ((std::vector<uint32_t>{100, 101, 102, 103, 104}), serials(filter));
    filter.last = 2;
    EXPECT_EQ((std::vector<uint32_t>{103, 104}), serials(filter));
    filter.port = "/dev/ttyUSB0";
    EXPECT_EQ((std::vector<uint32_t>{102, 104}), serials(filter));
    filter.last = 0;
    EXPECT_EQ((std::vector<uint32_t>{100, 102, 104}), serials(filter));
    filter.serial = 102;
    EXPECT_EQ((std::vector<uint32_t>{102}), serials(filter));
    filter.port = "/dev/ttyUSB1";
    EXPECT_EQ((std::vector<uint32_t>{}), serials(filter));
}

TEST_F(SqliteStoreTest, RefusesWhatItCannotKeepRecordsIn) {
    std::string problem;
    // History never creates a record.
    EXPECT_FALSE(OpenRecordStore(path_, RecordAccess::Read, problem));
    EXPECT_NE(std::string::npos, problem.find(path_)) << problem;
    EXPECT_EQ(nullptr, std::fopen(path_.c_str(), "rb"));

    const std::string nowhere = testing::TempDir() + "velmora-no-such-folder/records.sqlite";
    problem.clear();
    EXPECT_FALSE(OpenRecordStore(nowhere, RecordAccess::Write, problem));
    EXPECT_NE(std::string::npos, problem.find(nowhere)) << problem;

    // A file of another program's with a table of the same name.
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path_.c_str(), &db));
    ASSERT_EQ(SQLITE_OK,
              sqlite3_exec(db, "CREATE TABLE runs (name TEXT)", nullptr, nullptr, nullptr));
    sqlite3_close(db);
    std::unique_ptr<RecordStore> store = OpenRecordStore(path_, RecordAccess::Write, problem);
    ASSERT_TRUE(store) << problem;
    problem = store->Prepare();
    EXPECT_NE(std::string::npos, problem.find("runs")) << problem;

    // Not a database at all.
    FILE* text = std::fopen(path_.c_str(), "wb");
    ASSERT_TRUE(text);
    std::fputs("S00F000068656C6C6F202020202000003C\n", text);
    std::fclose(text);
    store = OpenRecordStore(path_, RecordAccess::Write, problem);
    ASSERT_TRUE(store) << problem;
    problem = store->Prepare();
    EXPECT_NE(std::string::npos, problem.find("not a database")) << problem;
}

}  // namespace
