// velmora-cli's command line: options and operands in any order and every form of an option, one
// value for each --port, and usage errors that name the option and reach a --json reader too.
#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Arguments(std::vector<std::string> words) {
    words.insert(words.begin(), "velmora-cli");
    return words;
}

TEST(CommandLine, WriteTakesItsOptionsBeforeAndAfterFile) {
    const struct {
        std::vector<std::string> words;
        std::vector<std::string> ports;
    } cases[] = {
        {{"write", "--port", "/dev/ttyUSB0", "fw.mot"}, {"/dev/ttyUSB0"}},
        {{"write", "--port=/dev/ttyUSB0", "fw.mot"}, {"/dev/ttyUSB0"}},
        {{"write", "-p", "/dev/ttyUSB0", "fw.mot"}, {"/dev/ttyUSB0"}},
        {{"write", "-p/dev/ttyUSB0", "fw.mot"}, {"/dev/ttyUSB0"}},
        {{"write", "fw.mot", "--port", "/dev/ttyUSB0"}, {"/dev/ttyUSB0"}},
        {{"write", "--port", "/dev/ttyUSB0", "fw.mot", "--fast"}, {"/dev/ttyUSB0"}},
        {{"write", "--port", "/dev/ttyUSB0", "--fast", "fw.mot", "--verify"}, {"/dev/ttyUSB0"}},
        {{"write", "--port", "COM3", "--port", "COM4", "fw.mot", "--bps", "57600"},
         {"COM3", "COM4"}},
        {{"write", "-p", "COM3", "fw.mot", "-p", "COM4", "--json"}, {"COM3", "COM4"}},
        {{"write", "--port=COM3", "--port=COM4", "--port=COM5", "fw.mot"},
         {"COM3", "COM4", "COM5"}},
    };
    for (const auto& expected : cases) {
        const CommandLine line = ParseCommandLine(Arguments(expected.words));
        const std::string words = testing::PrintToString(expected.words);
        ASSERT_EQ(CommandName::Write, line.command.value_or(CommandName::Ports))
            << words << ": " << line.problem;
        EXPECT_EQ("fw.mot", line.write.file) << words;
        EXPECT_EQ(expected.ports, line.write.ports) << words;
    }
}

TEST(CommandLine, InfoAndHistoryTakeThemInAnyOrderToo) {
    CommandLine line = ParseCommandLine(Arguments(
        {"info", "--bps", "57600", "--reply-latency", "16", "fw.mot", "--format", "srec"}));
    ASSERT_EQ(CommandName::Info, line.command.value_or(CommandName::Ports)) << line.problem;
    EXPECT_EQ("fw.mot", line.info.file);
    EXPECT_EQ(57600, line.info.bitRate);
    EXPECT_EQ(16, line.info.replyLatency);

    line = ParseCommandLine(Arguments({"history", "--port", "COM3", "--record", "r.sqlite"}));
    ASSERT_EQ(CommandName::History, line.command.value_or(CommandName::Ports)) << line.problem;
    EXPECT_EQ("COM3", line.history.filter.port);
    EXPECT_EQ("r.sqlite", line.history.record);
}

TEST(CommandLine, WriteTakesWhereTheNumbersGoAndTheRecord) {
    CommandLine line =
        ParseCommandLine(Arguments({"write", "fw.mot", "-p", "COM3", "--serial", "0x7FF00",
                                    "--serial-format", "ascii:6", "--record", "r.sqlite"}));
    ASSERT_EQ(CommandName::Write, line.command.value_or(CommandName::Ports)) << line.problem;
    ASSERT_TRUE(line.write.serial);
    EXPECT_EQ(0x7FF00u, line.write.serial->address);
    EXPECT_EQ(SerialForm::Decimal, line.write.serial->form);
    EXPECT_EQ(6, line.write.serial->digits);
    EXPECT_FALSE(line.write.serialStart);  // the record knows the next
    EXPECT_EQ("r.sqlite", line.write.record);
}

TEST(CommandLine, WriteTakesAStationsCount) {
    CommandLine line =
        ParseCommandLine(Arguments({"write", "fw.mot", "--count", "3", "-p", "COM3", "--repeat"}));
    ASSERT_EQ(CommandName::Write, line.command.value_or(CommandName::Ports)) << line.problem;
    EXPECT_TRUE(line.write.repeat);
    EXPECT_EQ(3, line.write.count.value_or(0));
    line = ParseCommandLine(Arguments({"write", "fw.mot", "-p", "COM3", "--repeat"}));
    EXPECT_FALSE(line.write.count);  // until a stop
}

TEST(CommandLine, AUsageErrorNamesWhatIsWrong) {
    const struct {
        std::vector<std::string> words;
        const char* problem;
    } cases[] = {
        {{"write", "fw.mot", "--bps", "38400", "--bps", "57600", "--port", "COM3"},
         "--bps is given twice"},
        {{"write", "fw.mot", "--port", "COM3", "--log", "a.log", "--log", "b.log"},
         "--log is given twice"},
        {{"info", "--format", "srec", "fw.mot", "--format", "ihex"}, "--format is given twice"},
        {{"history", "--record", "a", "--record", "b"}, "--record is given twice"},
        {{"write", "--port", "COM3", "--port", "COM3", "fw.mot"}, "--port: COM3 is given twice"},
        {{"write", "--port", "COM3"}, "FILE is required"},
        {{"write", "fw.mot"}, "--port is required"},
        {{"info", "fw.mot", "--reply-latency", "2000"}, "--reply-latency"},
        {{"flash", "fw.mot"}, "unknown command 'flash'"},
        {{"write", "fw.mot", "-p", "COM3", "--serial", "0x7FF00"}, "--serial-start N"},
        {{"write", "fw.mot", "-p", "COM3", "--serial-start", "5"}, "needs --serial ADDR"},
        {{"write", "fw.mot", "-p", "COM3", "--serial", "0", "--serial-format", "bcd",
          "--serial-start", "1"},
         "bcd"},
        {{"write", "fw.mot", "-p", "COM3", "-p", "COM4", "--serial", "0", "--serial-format",
          "ascii:1", "--serial-start", "9"},
         "reach past 9"},
        {{"write", "fw.mot", "-p", "COM3", "--serial", "0", "--serial-start", "4294967296"},
         "not a serial number"},
        {{"write", "fw.mot", "-p", "COM3", "--count", "2"}, "--count needs --repeat"},
        {{"write", "fw.mot", "-p", "COM3", "--repeat", "--count", "0"}, "--count"},
        {{"write", "fw.mot", "-p", "COM3", "--repeat", "-q"}, "--repeat cannot be --quiet"},
    };
    for (const auto& expected : cases) {
        const CommandLine line = ParseCommandLine(Arguments(expected.words));
        const std::string words = testing::PrintToString(expected.words);
        EXPECT_FALSE(line.command.has_value()) << words;
        EXPECT_EQ(2, line.exitCode) << words;
        EXPECT_NE(std::string::npos, line.problem.find(expected.problem))
            << words << ": " << line.problem;
    }
}

TEST(CommandLine, AUsageErrorWithJsonIsAlsoAResultOnStandardOutput) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int exitCode =
        RunCommandLine(Arguments({"write", "--json", "fw.mot", "--port", "COM3", "--colour"}),
                       ProcessSurroundings());
    const std::string output = testing::internal::GetCapturedStdout();
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(2, exitCode);
    EXPECT_EQ(
        "{\"event\":\"result\",\"port\":null,\"ok\":false,\"exit_code\":2,\"message\":\"The "
        "following argument was not expected: --colour (see velmora-cli --help)\"}\n",
        output);
    EXPECT_EQ(
        "velmora-cli: The following argument was not expected: --colour (see velmora-cli "
        "--help)\n",
        errors);

    // Without --json standard output stays empty.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    RunCommandLine(Arguments({"write", "fw.mot", "--port", "COM3", "--colour"}),
                   ProcessSurroundings());
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    testing::internal::GetCapturedStderr();
}

}  // namespace
