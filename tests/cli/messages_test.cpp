// The lines velmora-cli answers with where an engineer has something to do: what a refused file
// is and what to do about it, a log that cannot be written, a repeated option, and an outcome
// that says what was done.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "cli/board_console.h"
#include "cli/command_line.h"
#include "cli/firmware_input.h"
#include "cli/run_conclusion.h"
#include "cli/streams.h"
#include "update/operator.h"

namespace {

// A file of these bytes in the tests' folder; its path.
std::string FileOf(const std::string& name, const std::string& bytes) {
    const std::string path = testing::TempDir() + "velmora-messages-" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// The load's line for the file, empty when it loads.
std::string LoadLine(const std::string& path) {
    NullOperator nobody;
    std::shared_ptr<const FirmwareImage> image;
    return LoadInput(path, InputRequest(), image, nobody);
}

// Why the board's log file cannot be written, empty when it can.
std::string LogLine(const std::string& path) {
    Streams streams(ProgressDisplay::None, ConsoleFiles());
    BoardOutput output;
    output.logPath = path;
    BoardConsole console(streams, output);
    std::string error;
    console.OpenLog(&error);
    return error;
}

std::string CompletedLine(int blocks, bool readBack) {
    RunOutcome outcome;
    outcome.end = RunEnd::Completed;
    outcome.endAcknowledged = true;
    outcome.blocksAcknowledged = blocks;
    outcome.readBack = readBack;
    outcome.seconds = 4.2;
    return ConcludeRun(outcome, StopSignal::None, "COM3").text;
}

// The S-record of the loader tests, one block of data at 0.
const char kOneBlock[] =
    "S1130000000102030405060708090A0B0C0D0E0F74\n"
    "S9030000FC\n";

TEST(Messages, SayWhatIsWrongAndWhatToDo) {
    const struct {
        const char* name;
        std::function<std::string()> line;
        const char* says;
    } cases[] = {
        {"an empty file", [] { return LoadLine(FileOf("empty.mot", "")); },
         "empty.mot: empty: nothing to program"},
        {"a folder", [] { return LoadLine(testing::TempDir()); }, ": is a directory"},
        {"a raw binary",
         [] { return LoadLine(FileOf("app.bin", std::string("\x00\x01\x7F\x10\x00\x00", 6))); },
         "app.bin: not text, and holds no S1/S2/S3 data record: for a raw binary give --format "
         "bin --offset ADDR"},
        {"an H8 COFF object",
         [] {
             return LoadLine(
                 FileOf("app.obj", std::string("\x83\x01\x00\x03", 4) + std::string(40, '\0')));
         },
         "app.obj: a COFF object file for the H8, which velmora-cli does not read: convert it to "
         "S-records with objcopy -O srec"},
        {"text without data", [] { return LoadLine(FileOf("notes.mot", "Release notes\n")); },
         "notes.mot: holds no S1/S2/S3 data record: nothing to program"},
        {"a byte-order mark",
         [] { return LoadLine(FileOf("bom.mot", "\xEF\xBB\xBF" + std::string(kOneBlock))); }, ""},
        {"--log into a missing folder",
         [] { return LogLine(testing::TempDir() + "velmora-no-such-folder/run.log"); },
         "velmora-no-such-folder/run.log: No such file or directory"},
        {"--bps twice",
         [] {
             return ParseCommandLine({"velmora-cli", "write", "fw.mot", "--bps", "38400", "--bps",
                                      "57600", "-p", "COM3"})
                 .problem;
         },
         "--bps is given twice (see velmora-cli write --help)"},
        {"one block", [] { return CompletedLine(1, false); },
         "Completed. 1 block sent (128 bytes) in 4.2 s."},
        {"a read-back", [] { return CompletedLine(547, true); },
         "Completed. 547 blocks sent (70016 bytes), read back and compared in 4.2 s."},
    };
    for (const auto& expected : cases) {
        const std::string line = expected.line();
        if (expected.says[0] == '\0') {
            EXPECT_EQ("", line) << expected.name;
        } else {
            EXPECT_NE(std::string::npos, line.find(expected.says)) << expected.name << ": " << line;
        }
    }
}

}  // namespace
