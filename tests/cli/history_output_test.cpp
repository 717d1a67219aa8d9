// history's output: JSON Lines whose values keep their types, nulls and valid UTF-8, and a table
// whose columns line up.
#include "cli/history_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

RunRecord FailedRun() {
    RunRecord record;
    record.id = 12;
    record.start.startedAt = "2026-03-06T16:01:44Z";
    record.start.station = "line-3";
    record.start.port = "/dev/ttyUSB0";
    // A Linux file name may hold bytes that are not UTF-8 (Latin-1 here).
    record.start.firmware = "fw/caf\xE9.mot";
    record.start.firmwareSha256 = std::string(64, 'a');
    record.start.imageSum = 0xABC;
    record.start.bitRate = 38400;
    record.start.velmoraVersion = "0.8.35.115";
    record.serialAddress = 0x7FF0;
    record.serial = 5012;
    RunFinish finish;
    finish.exitCode = 16;
    finish.step = 6;
    finish.message = "ttyUSB0: step [06] failed: \"no reply\"";
    finish.seconds = 3.25;
    record.finish = finish;
    return record;
}

TEST(HistoryJsonLine, KeepsTypesAndNullsAndStaysUtf8) {
    EXPECT_EQ(
        "{\"id\":12,\"started_at\":\"2026-03-06T16:01:44Z\",\"station\":\"line-3\","
        "\"port\":\"/dev/ttyUSB0\",\"adapter\":null,\"firmware\":\"fw/caf\xEF\xBF\xBD.mot\","
        "\"firmware_sha256\":\"" +
            std::string(64, 'a') +
            "\",\"image_sum\":\"0x00000ABC\","
            "\"serial_address\":32752,\"serial\":5012,\"bit_rate\":38400,\"ok\":false,"
            "\"exit_code\":16,\"step\":6,\"message\":\"ttyUSB0: step [06] failed: \\\"no "
            "reply\\\"\","
            "\"seconds\":3.250,\"velmora_version\":\"0.8.35.115\"}\n",
        HistoryJsonLine(FailedRun()));

    RunRecord unfinished = FailedRun();
    unfinished.finish.reset();
    unfinished.serial.reset();
    unfinished.serialAddress.reset();
    unfinished.start.firmware = "fw/caf\xC3\xA9.mot";
    const std::string line = HistoryJsonLine(unfinished);
    EXPECT_NE(std::string::npos, line.find("\"firmware\":\"fw/caf\xC3\xA9.mot\"")) << line;
    EXPECT_NE(std::string::npos,
              line.find("\"serial_address\":null,\"serial\":null,\"bit_rate\":38400,\"ok\":null,"
                        "\"exit_code\":null,\"step\":null,\"message\":null,\"seconds\":null"))
        << line;
}

TEST(HistoryTable, LinesUpItsColumnsAndNamesHowEachRunEnded) {
    RunRecord passed = FailedRun();
    passed.start.firmware = "fw/app.mot";
    passed.start.port = "/dev/ttyUSB10";
    passed.serial = 5013;
    passed.finish->ok = true;
    passed.finish->exitCode = 0;
    passed.finish->step = 0;
    passed.finish->message = "ttyUSB10: programmed";
    RunRecord unfinished = passed;
    unfinished.serial.reset();
    unfinished.finish.reset();
    RunRecord failed = FailedRun();
    failed.start.firmware = "fw/app.mot";
    EXPECT_EQ(
        "started_at            station  port           serial  result      exit  step  time   "
        "firmware    message\n"
        "2026-03-06T16:01:44Z  line-3   /dev/ttyUSB0   5012    FAIL        16    [06]  3.2 s  "
        "fw/app.mot  ttyUSB0: step [06] failed: \"no reply\"\n"
        "2026-03-06T16:01:44Z  line-3   /dev/ttyUSB10  5013    PASS        0     -     3.2 s  "
        "fw/app.mot  ttyUSB10: programmed\n"
        "2026-03-06T16:01:44Z  line-3   /dev/ttyUSB10  -       unfinished  -     -     -      "
        "fw/app.mot\n",
        HistoryTable({failed, passed, unfinished}));
    EXPECT_EQ("no runs match\n", HistoryTable({}));
}

}  // namespace
