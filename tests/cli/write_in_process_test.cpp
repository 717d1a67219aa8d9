// velmora-cli's write command line in process against simulated boards in virtual time: the
// arguments in; the exit code, standard output and error, the log files, the record and each
// board's flash and events out. What needs a terminal of its own, signals, a device or a second
// process stays with cli_test.py.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli/command_line.h"
#include "cli/surroundings.h"
#include "record/record_store.h"
#include "record/sha256.h"
#include "support/in_process_board.h"

namespace {

const std::string kDemo = std::string(VELMORA_SAMPLES) + "/velmora-demo.mot";
const size_t kFlashSize = 512 * 1024;
// Blank in velmora-demo.mot's image, past its end: where the serial numbers go.
const uint32_t kSerialPlace = 0x7FF00;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The flash an S-record file asks for: its data records laid at their addresses on 0xFF, read
// here rather than by the program's own reader.
Bytes ImageOf(const std::string& path) {
    Bytes flash(kFlashSize, 0xFF);
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 4 || line[0] != 'S' || line[1] < '1' || line[1] > '3') {
            continue;
        }
        const size_t width = static_cast<size_t>(line[1] - '0') + 1;
        const size_t count = std::stoul(line.substr(2, 2), nullptr, 16);
        Bytes body;
        for (size_t i = 0; i < count; ++i) {
            body.push_back(
                static_cast<uint8_t>(std::stoul(line.substr(4 + 2 * i, 2), nullptr, 16)));
        }
        uint32_t address = 0;
        for (size_t i = 0; i < width; ++i) {
            address = (address << 8) | body[i];
        }
        std::copy(body.begin() + static_cast<long>(width), body.end() - 1, flash.begin() + address);
    }
    return flash;
}

// The image with `serial` as u32be at kSerialPlace.
Bytes Numbered(Bytes image, uint32_t serial) {
    for (int i = 0; i < 4; ++i) {
        image[kSerialPlace + i] = static_cast<uint8_t>(serial >> (24 - 8 * i));
    }
    return image;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string LastLine(const std::string& text) {
    const std::vector<std::string> lines = Lines(text);
    return lines.empty() ? std::string() : lines.back();
}

// Standard error's lines but the plain progress lines, which it gets during [11] where no
// terminal shows one.
std::vector<std::string> Complaints(const std::string& errors) {
    static const std::regex progress(
        R"(^\S+: \[11\] (read-back )?\d+/\d+ blocks(, \d+:\d\d left)?$)");
    std::vector<std::string> complaints;
    for (const std::string& line : Lines(errors)) {
        if (!std::regex_match(line, progress)) {
            complaints.push_back(line);
        }
    }
    return complaints;
}

// Standard error said one thing, and it holds `text`.
testing::AssertionResult OneLine(const std::string& errors, const std::string& text) {
    const std::vector<std::string> complaints = Complaints(errors);
    if (complaints.size() == 1 && complaints[0].find(text) != std::string::npos) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "not one line with \"" << text << "\": " << errors;
}

bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool AnyLineMatches(const std::string& text, const std::string& pattern) {
    const std::regex wanted(pattern);
    for (const std::string& line : Lines(text)) {
        if (std::regex_search(line, wanted)) {
            return true;
        }
    }
    return false;
}

// The value of `name` in a line of JSON as written, a text still quoted; empty when absent.
std::string Field(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const size_t at = line.find(key);
    if (at == std::string::npos) {
        return std::string();
    }
    const size_t start = at + key.size();
    size_t end = start;
    if (line[start] == '"') {
        for (end = start + 1; end < line.size() && line[end] != '"'; ++end) {
            end += line[end] == '\\' ? 1 : 0;
        }
        ++end;
    } else {
        end = line.find_first_of(",}", start);
    }
    return line.substr(start, end - start);
}

// The lines of --json's standard output whose event is `event`.
std::vector<std::string> Events(const std::string& output, const std::string& event) {
    std::vector<std::string> found;
    for (const std::string& line : Lines(output)) {
        if (Field(line, "event") == "\"" + event + "\"") {
            found.push_back(line);
        }
    }
    return found;
}

// The outcome line of a successful write of velmora-demo.mot, whose image sends 18 blocks.
const char kDemoCompleted[] = R"(^Completed\. 18 blocks sent \(2304 bytes\) in \d+\.\d s\.)";

// No stop comes: the main thread looks at the runs every millisecond.
class NoStops final : public StopWatch {
public:
    int Wait(int) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    }
    StopSignal First() const override { return StopSignal::None; }
    void WayOutDone() override {}
};

// Which of the streams a terminal shows.
enum class Terminal { None, Errors, Both };

struct CliRun {
    int exitCode = -1;
    std::string output;
    std::string errors;
};

std::string ContentsOf(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char chunk[4096];
    size_t read = 0;
    while ((read = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, read);
    }
    std::fclose(file);
    return text;
}

class WriteInProcessTest : public testing::Test {
protected:
    void SetUp() override {
        work_ = testing::TempDir() + "velmora-cli-" +
                testing::UnitTest::GetInstance()->current_test_info()->name();
        mkdir(work_.c_str(), 0755);
    }

    // A board on the port /sim/`name`, `options` as velmora-board-sim takes them.
    InProcessBoard& AddBoard(const std::string& name,
                             const std::vector<std::string>& options = {}) {
        const std::string port = "/sim/" + name;
        std::unique_ptr<InProcessBoard>& board = boards_[port];
        board = std::make_unique<InProcessBoard>(options, port);
        EXPECT_TRUE(board->ready()) << name;
        return *board;
    }

    std::string Path(const std::string& name) const { return work_ + "/" + name; }

    // velmora-cli with `arguments`, its streams on files that stand for a terminal or not.
    CliRun Cli(const std::vector<std::string>& arguments, Terminal terminal = Terminal::None) {
        std::vector<std::string> line{"velmora-cli"};
        line.insert(line.end(), arguments.begin(), arguments.end());
        Surroundings surroundings;
        surroundings.line = [this](const std::string& port) {
            std::unique_ptr<InProcessBoard>& board = boards_[port];
            if (!board) {
                ADD_FAILURE() << "no board on " << port;
                board = std::make_unique<InProcessBoard>(std::vector<std::string>(), port);
            }
            return BoardLine{board->Link(), board->Clock()};
        };
        surroundings.stops = [] { return std::make_unique<NoStops>(); };
        surroundings.console.output = std::tmpfile();
        surroundings.console.errors = std::tmpfile();
        surroundings.console.outputIsTerminal = terminal == Terminal::Both;
        surroundings.console.errorsIsTerminal = terminal != Terminal::None;
        CliRun run;
        run.exitCode = RunCommandLine(line, surroundings);
        run.output = ContentsOf(surroundings.console.output);
        run.errors = ContentsOf(surroundings.console.errors);
        return run;
    }

    CliRun Write(const std::string& file, const std::vector<std::string>& ports,
                 const std::vector<std::string>& options, Terminal terminal = Terminal::None) {
        std::vector<std::string> arguments{"write", file};
        for (const std::string& port : ports) {
            arguments.insert(arguments.end(), {"--port", port});
        }
        arguments.insert(arguments.end(), options.begin(), options.end());
        return Cli(arguments, terminal);
    }

    CliRun Write(const std::string& file, const std::vector<std::string>& options) {
        return Write(file, {boards_.begin()->first}, options);
    }

    std::vector<RunRecord> Rows(const std::string& record) {
        std::string problem;
        std::vector<RunRecord> rows;
        const std::unique_ptr<RecordStore> store =
            OpenRecordStore(record, RecordAccess::Read, problem);
        EXPECT_TRUE(store) << problem;
        if (store) {
            problem = store->Read(HistoryFilter(), rows);
            EXPECT_EQ("", problem);
        }
        return rows;
    }

    std::string work_;
    std::map<std::string, std::unique_ptr<InProcessBoard>> boards_;
};

TEST_F(WriteInProcessTest, ABadFileGetsOneLineAndExit3AndThePortStaysShut) {
    InProcessBoard& board = AddBoard("board");
    const std::string refused = Path("refused.mot");
    WriteFile(refused, "S00600004844521B\nS1070100AABBCCDDE8\n");
    CliRun run = Write(refused, {});
    EXPECT_EQ(3, run.exitCode);
    EXPECT_TRUE(OneLine(run.errors, "line 2: checksum mismatch"));

    run = Write(Path("missing.mot"), {});
    EXPECT_EQ(3, run.exitCode);
    EXPECT_TRUE(OneLine(run.errors, "cannot be opened"));

    // A file that loads, but gives the flash nothing: the window would erase the board. An Intel
    // HEX file is read as one, whatever its name says.
    const struct {
        const char* name;
        const char* text;
        const char* says;
    } kEmpty[] = {{"notes.mot", "Release notes\n", "holds no S1/S2/S3 data record"},
                  {"intel.mot", ":00000001FF\n", "holds no Intel HEX data"},
                  {"ends.mot", "S0030000FC\nS9030000FC\n", "holds no S1/S2/S3 data record"}};
    for (const auto& empty : kEmpty) {
        WriteFile(Path(empty.name), empty.text);
        run = Write(Path(empty.name), {});
        EXPECT_EQ(3, run.exitCode) << empty.name;
        EXPECT_TRUE(OneLine(run.errors, std::string(empty.says) + ": nothing to program"))
            << empty.name;
        EXPECT_EQ(LastLine(run.errors), LastLine(run.output)) << empty.name;
    }
    EXPECT_EQ(0, board.Count("open"));
}

TEST_F(WriteInProcessTest, TheLogGoesNowhereThatWouldDestroyAFileOrMixTwoBoards) {
    InProcessBoard& board = AddBoard("board");
    // Never onto an input of the run, by any name that reaches it.
    const std::string firmware = Path("fw.mot");
    WriteFile(firmware, ReadFile(kDemo));
    const std::string alias = Path("fw-alias.mot");
    unlink(alias.c_str());
    ASSERT_EQ(0, symlink(firmware.c_str(), alias.c_str()));
    for (const std::string& log : {firmware, alias}) {
        const CliRun run = Write(firmware, {"--log", log});
        EXPECT_EQ(2, run.exitCode) << log;
        EXPECT_TRUE(OneLine(run.errors, "--log: " + log + " is the firmware file " + firmware +
                                            ": writing the log there would destroy it"));
    }
    EXPECT_EQ(ReadFile(kDemo), ReadFile(firmware));

    // Two ports whose names differ only where a file's name cannot keep them apart.
    CliRun run = Write(kDemo, {"/t/b:1", "/t/b_1"}, {"--log", Path("run.log")});
    EXPECT_EQ(2, run.exitCode);
    EXPECT_TRUE(OneLine(run.errors, "--log: the logs of /t/b:1 and /t/b_1 would both go to " +
                                        Path("run.b_1.log")));

    const std::string missing = Path("no-such-folder/run.log");
    run = Write(kDemo, {"--log", missing});
    EXPECT_EQ(2, run.exitCode);
    EXPECT_TRUE(OneLine(run.errors,
                        "cannot write the log file " + missing + ": No such file or directory"));
    EXPECT_EQ(0, board.Count("open"));
}

TEST_F(WriteInProcessTest, AFailedStepIsTheLogsLastLineAndItsOwnExitCode) {
    // [09]: the board never confirms the new bit rate; no retry starts it over.
    AddBoard("board", {"--no-confirm"});
    const CliRun run = Write(kDemo, {"--fast", "--retries", "0"});
    EXPECT_EQ(19, run.exitCode);
    EXPECT_TRUE(Holds(run.output, "[09] CONFIRM BPS : 38400 \n---> failed to confirm BPS !\n"))
        << run.output;
    EXPECT_TRUE(
        OneLine(run.errors, "step [09] failed: the board did not confirm the new bit rate"));
    EXPECT_EQ(Complaints(run.errors).front(), LastLine(run.output));
}

TEST_F(WriteInProcessTest, AnEndOfProgrammingNakFailsTheRunThoughTheWindowsLogSaysOk) {
    AddBoard("board", {"--end-nak", "0x15"});
    const std::string log = Path("run.log");
    const CliRun run = Write(kDemo, {"--fast", "--log", log});
    EXPECT_EQ(6, run.exitCode) << run.errors;
    EXPECT_TRUE(Holds(run.output, "Sending firmware failed by 21 \n----> Ok.")) << run.output;
    EXPECT_TRUE(
        OneLine(run.errors, "did not acknowledge the end of programming: it may not start"));
    std::string logged = ReadFile(log);
    logged = std::regex_replace(logged, std::regex("\r\n"), "\n");
    EXPECT_EQ(Complaints(run.errors), std::vector<std::string>{LastLine(logged)});
}

TEST_F(WriteInProcessTest, ASilentBoardGetsItsLikelyCausesAndTheTerminalTheStepUnderWay) {
    AddBoard("board", {"--mute"});
    const CliRun run = Write(kDemo, {"/sim/board"}, {"--fast", "--retries", "0"}, Terminal::Errors);
    EXPECT_EQ(13, run.exitCode);
    EXPECT_TRUE(
        Holds(run.errors, "step [03] failed: the board did not answer the bit-rate matching"))
        << run.errors;
    EXPECT_TRUE(Holds(run.errors, "power, its boot-mode pins, the cable and the port"))
        << run.errors;
    // Once the steps begin, the loading's status text is over.
    bool approval = false;
    const std::regex progress(R"(^\[0\d\] .*elapsed)");
    std::string errors = run.errors;
    std::replace(errors.begin(), errors.end(), '\r', '\n');
    for (const std::string& line : Lines(errors)) {
        if (std::regex_search(line, progress)) {
            approval = approval || line.rfind("[03] APPORVAL", 0) == 0;
            EXPECT_FALSE(Holds(line, "Parsing completed")) << line;
        }
    }
    EXPECT_TRUE(approval) << run.errors;
}

TEST_F(WriteInProcessTest, AFailureOnATerminalThatShowsBothStreamsIsSaidOnce) {
    AddBoard("board", {"--mute"});
    const std::string failed = "step [03] failed: the board did not answer";
    const CliRun run = Write(kDemo, {"/sim/board"}, {"--fast", "--retries", "0"}, Terminal::Both);
    EXPECT_EQ(13, run.exitCode);
    EXPECT_TRUE(Holds(run.errors, failed)) << run.errors;
    EXPECT_FALSE(Holds(run.output, failed)) << run.output;
}

TEST_F(WriteInProcessTest, ARefusedCommandIsNamedWithItsReplyAndMeaning) {
    AddBoard("board", {"--reject-command", "0x10"});
    const CliRun run = Write(kDemo, {"--fast", "--retries", "0"});
    EXPECT_EQ(16, run.exitCode);
    EXPECT_TRUE(OneLine(run.errors,
                        "step [06] failed: device selection (0x10) was answered 0x90 "
                        "0x21: device code error"));
}

TEST_F(WriteInProcessTest, ARefusalBeforeTheEraseStartsTheRunOverAndSaysSo) {
    AddBoard("board", {"--reject-once", "0x3F"});
    const CliRun run = Write(kDemo, {"--fast", "--json"});
    EXPECT_EQ(0, run.exitCode) << run.errors;
    EXPECT_TRUE(OneLine(run.errors,
                        "step [08] failed: new bit rate selection (0x3F) was answered "
                        "0xBF 0x24"));
    EXPECT_TRUE(OneLine(run.errors, ": starting over from [01] (retry 1 of 2)"));
    const std::vector<std::string> retries = Events(run.output, "retry");
    ASSERT_EQ(1u, retries.size()) << run.output;
    EXPECT_EQ("8", Field(retries[0], "step"));
    EXPECT_EQ("1", Field(retries[0], "retry"));
    EXPECT_EQ("2", Field(retries[0], "retries"));
    const std::string last = LastLine(run.output);
    EXPECT_EQ("\"result\"", Field(last, "event"));
    EXPECT_EQ("2", Field(last, "attempts"));
    bool logged = false;
    for (const std::string& line : Events(run.output, "log")) {
        logged = logged || Field(line, "text") == "\"---> starting over from [01]: retry 1 of 2\"";
    }
    EXPECT_TRUE(logged) << run.output;
}

TEST_F(WriteInProcessTest, VerifyAndReadBackCatchWhatTheFlashGotWrong) {
    // --verify sums the user MAT the board reports; --read-back also catches bytes that traded
    // places, which the sum passes.
    const struct {
        std::vector<std::string> board;
        std::string option;
        int exitCode;
        std::string text;
    } kCases[] = {
        {{}, "--verify", 0, "---> verify : the user MAT adds up to 0x"},
        {{"--user-mat-size", "0x40000"}, "--verify", 0, "---> verify : the user MAT adds up"},
        {{"--user-mat-size", "0x40000", "--user-mat-split", "0x1000"},
         "--verify",
         0,
         "---> user MAT : 0x00001000 - 0x0003FFFF"},
        {{"--wrong-byte", "0x10"},
         "--verify",
         5,
         "ERROR : the first byte that differs is at 0x00000010: the flash holds 0xFF, the image "
         "0x00.\n"},
        {{"--bad-reply-sum", "0x4B"},
         "--verify",
         21,
         "The sum check got a reply with a wrong SUM !"},
        {{"--swap-bytes", "0x12"}, "--verify", 0, "---> verify : the user MAT adds up"},
        {{"--swap-bytes", "0x12"},
         "--read-back",
         5,
         "ERROR : the first byte that differs is at 0x00000012: the flash holds 0x00, the image "
         "0x10.\n"},
    };
    const std::regex summed(
        R"(^Completed\. .* The user MAT sums to 0x[0-9A-F]{8}, as the image does\.$)");
    for (const auto& test : kCases) {
        AddBoard("board", test.board);
        const CliRun run = Write(kDemo, {"--fast", test.option});
        const std::string name = testing::PrintToString(test.board) + " " + test.option;
        EXPECT_EQ(test.exitCode, run.exitCode) << name << ": " << run.errors;
        EXPECT_TRUE(Holds(run.output, test.text)) << name << ": " << run.output;
        if (test.exitCode == 0) {
            EXPECT_TRUE(std::regex_match(LastLine(run.output), summed)) << name;
        } else {
            EXPECT_EQ(Complaints(run.errors), std::vector<std::string>{LastLine(run.output)})
                << name;
        }
    }
}

TEST_F(WriteInProcessTest, SeveralBoardsAreProgrammedAtOnceEachWithItsLinesAndLog) {
    std::vector<InProcessBoard*> boards;
    for (const char* name : {"board1", "board2", "board3"}) {
        boards.push_back(&AddBoard(name));
    }
    const CliRun run = Write(kDemo, {"/sim/board1", "/sim/board2", "/sim/board3"},
                             {"--fast", "--log", Path("run.log")});
    EXPECT_EQ(0, run.exitCode) << run.errors;
    const Bytes image = ImageOf(kDemo);
    for (size_t i = 0; i < boards.size(); ++i) {
        const std::string label = "board" + std::to_string(i + 1);
        EXPECT_TRUE(boards[i]->WaitFor("reboot", 1)) << label;
        EXPECT_EQ(1, boards[i]->Count("reboot")) << label;
        EXPECT_TRUE(Holds(run.output, label + ": [11] PROGRAMMING\n")) << run.output;
        EXPECT_TRUE(AnyLineMatches(run.output, "^" + label + " +programmed +18 ")) << run.output;
        const std::string logged = ReadFile(Path("run." + label + ".log"));
        EXPECT_TRUE(
            std::regex_search(LastLine(std::regex_replace(logged, std::regex("\r\n"), "\n")),
                              std::regex(kDemoCompleted)))
            << label << ": " << logged;
        EXPECT_EQ(image, boards[i]->Flash()) << label;
    }
}

TEST_F(WriteInProcessTest, OneBoardThatFailsLeavesTheOthersProgrammedAndExit7) {
    std::vector<InProcessBoard*> boards{
        &AddBoard("board1"), &AddBoard("board2", {"--block-nak", "2:0x15"}), &AddBoard("board3")};
    const CliRun run =
        Write(kDemo, {"/sim/board1", "/sim/board2", "/sim/board3"}, {"--fast", "--json"});
    EXPECT_EQ(7, run.exitCode) << run.errors;
    const std::vector<std::string> lines = Lines(run.output);
    for (const std::string& line : lines) {
        EXPECT_NE("", Field(line, "event")) << line;
        EXPECT_NE("", Field(line, "port")) << line;
    }
    const Bytes image = ImageOf(kDemo);
    for (size_t i = 0; i < boards.size(); ++i) {
        const std::string label = "\"board" + std::to_string(i + 1) + "\"";
        std::vector<std::string> own;
        for (const std::string& line : lines) {
            if (Field(line, "port") == label) {
                own.push_back(line);
            }
        }
        ASSERT_FALSE(own.empty()) << label;
        const std::string result = own.back();
        EXPECT_EQ("\"result\"", Field(result, "event")) << label;
        int results = 0;
        for (const std::string& line : own) {
            results += Field(line, "event") == "\"result\"" ? 1 : 0;
        }
        EXPECT_EQ(1, results) << label;
        const bool failing = i == 1;
        EXPECT_EQ(failing ? "false" : "true", Field(result, "ok")) << result;
        EXPECT_EQ(failing ? "21" : "0", Field(result, "exit_code")) << result;
        EXPECT_EQ(failing ? "11" : "null", Field(result, "step")) << result;
        EXPECT_EQ(failing ? "1" : "18", Field(result, "blocks")) << result;
        EXPECT_EQ("null", Field(result, "sum")) << result;
        if (!failing) {
            EXPECT_EQ(image, boards[i]->Flash()) << label;
        }
    }
}

TEST_F(WriteInProcessTest, AGivenRateCarriesTheBlocks) {
    InProcessBoard& board = AddBoard("board");
    const CliRun run = Write(kDemo, {"--fast", "--bps", "76800"});
    EXPECT_EQ(0, run.exitCode) << run.errors;
    EXPECT_TRUE(Holds(run.output, "[08] CHANGING BPS : 76800 \n")) << run.output;
    int blocks = 0;
    for (const std::string& line : board.LogLines()) {
        if (Holds(line, "\"kind\":\"rx\"") && Holds(line, "\"bytes\":\"50 ")) {
            ++blocks;
            EXPECT_TRUE(Holds(line, "\"bit_rate\":76800,\"understood\":true")) << line;
        }
    }
    EXPECT_GE(blocks, 18);
    EXPECT_EQ(ImageOf(kDemo), board.Flash());
}

TEST_F(WriteInProcessTest, ARateTheBoardCannotMakeNeverOpensThePort) {
    InProcessBoard& board = AddBoard("board");
    const CliRun run = Write(kDemo, {"--bps", "115200"});
    EXPECT_EQ(2, run.exitCode) << run.errors;
    EXPECT_TRUE(OneLine(run.errors,
                        "--bps 115200: the board's serial interface makes 125000 bps "
                        "of it, +8.51 % off"));
    EXPECT_EQ(0, board.Count("open"));
}

TEST_F(WriteInProcessTest, MaxFallsBackPastARefusedRateAndPastSpoiltBlocks) {
    InProcessBoard& board =
        AddBoard("board", {"--refuse-bps", "625000", "--garble-above", "156300"});
    const CliRun run = Write(kDemo, {"--fast", "--bps", "max", "--json"});
    EXPECT_EQ(0, run.exitCode) << run.errors;
    EXPECT_EQ(
        Complaints(run.errors),
        (std::vector<std::string>{
            "velmora-cli: the link did not come up at 625000 bps: starting over at 312500 bps",
            "velmora-cli: step [11]: a block did not get through at 312500 bps: starting "
            "over at 156300 bps, erasing again"}));
    const std::vector<std::string> fallbacks = Events(run.output, "fallback");
    ASSERT_EQ(2u, fallbacks.size()) << run.output;
    EXPECT_EQ("625000", Field(fallbacks[0], "from_bps"));
    EXPECT_EQ("312500", Field(fallbacks[0], "to_bps"));
    EXPECT_EQ("\"link\"", Field(fallbacks[0], "phase"));
    EXPECT_EQ("312500", Field(fallbacks[1], "from_bps"));
    EXPECT_EQ("156300", Field(fallbacks[1], "to_bps"));
    EXPECT_EQ("\"program\"", Field(fallbacks[1], "phase"));
    const std::string result = LastLine(run.output);
    EXPECT_EQ("\"result\"", Field(result, "event"));
    EXPECT_EQ("156300", Field(result, "bit_rate"));
    EXPECT_EQ("2", Field(result, "fallbacks"));
    EXPECT_EQ("3", Field(result, "attempts"));
    EXPECT_EQ(ImageOf(kDemo), board.Flash());
}

TEST_F(WriteInProcessTest, EachBoardGetsItsOwnNumberAndRowAndTheNextRunGoesOnFromTheRecord) {
    const Bytes image = ImageOf(kDemo);
    const std::string record = Path("records.sqlite");
    std::remove(record.c_str());
    // Two boards at once, each with --read-back against its own image.
    InProcessBoard& first = AddBoard("board1");
    InProcessBoard& second = AddBoard("board2");
    CliRun run = Write(kDemo, {"/sim/board1", "/sim/board2"},
                       {"--fast", "--read-back", "--serial", "0x7FF00", "--serial-start", "5012",
                        "--record", record});
    EXPECT_EQ(0, run.exitCode) << run.errors;
    for (const int number : {1, 2}) {
        const std::string label = "board" + std::to_string(number);
        const std::string serial = std::to_string(5011 + number);
        EXPECT_TRUE(AnyLineMatches(run.output,
                                   "^" + label + " +programmed +19 +\\S+ s +" + serial + " +0x"))
            << run.output;
        EXPECT_TRUE(
            AnyLineMatches(run.output, "^" + label + ": Completed\\..* Serial " + serial + "\\.$"))
            << run.output;
    }
    EXPECT_EQ(Numbered(image, 5012), first.Flash());
    EXPECT_EQ(Numbered(image, 5013), second.Flash());
    std::vector<RunRecord> rows = Rows(record);
    ASSERT_EQ(2u, rows.size());
    const std::string firmware = ReadFile(kDemo);
    const std::string digest = Sha256Hex(firmware.data(), firmware.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const RunRecord& row = rows[i];
        const uint32_t serial = 5012 + static_cast<uint32_t>(i);
        EXPECT_EQ("/sim/board" + std::to_string(i + 1), row.start.port);
        EXPECT_EQ(serial, row.serial);
        ASSERT_TRUE(row.finish) << i;
        EXPECT_TRUE(row.finish->ok) << i;
        EXPECT_EQ(0, row.finish->step) << i;
        EXPECT_GT(row.finish->seconds, 0) << i;
        uint32_t sum = 0;
        for (const uint8_t byte : Numbered(image, serial)) {
            sum += byte;
        }
        EXPECT_EQ(sum, row.start.imageSum) << i;
        EXPECT_EQ(digest, row.start.firmwareSha256) << i;
        EXPECT_EQ(kDemo, row.start.firmware) << i;
        EXPECT_EQ(kSerialPlace, row.serialAddress) << i;
    }

    // Without --serial-start: after the highest recorded; a failed board's row says so.
    AddBoard("board3", {"--block-nak", "2:0x15"});
    run = Write(kDemo, {"/sim/board3"},
                {"--fast", "--json", "--serial", "0x7FF00", "--record", record});
    EXPECT_EQ(21, run.exitCode) << run.errors;
    const std::vector<std::string> results = Events(run.output, "result");
    ASSERT_EQ(1u, results.size()) << run.output;
    EXPECT_EQ("5014", Field(results[0], "serial"));
    rows = Rows(record);
    ASSERT_EQ(3u, rows.size());
    const RunRecord& failed = rows.back();
    EXPECT_EQ(5014u, failed.serial);
    ASSERT_TRUE(failed.finish);
    EXPECT_FALSE(failed.finish->ok);
    EXPECT_EQ(21, failed.finish->exitCode);
    EXPECT_EQ(11, failed.finish->step);
    EXPECT_EQ(Field(results[0], "message"), "\"" + failed.finish->message + "\"");

    // 0x1000 holds the demo's data; the board is never opened, and no row is written.
    InProcessBoard& refused = AddBoard("board4");
    run = Write(kDemo, {"/sim/board4"}, {"--serial", "0x1000", "--record", record});
    EXPECT_EQ(3, run.exitCode) << run.errors;
    EXPECT_TRUE(OneLine(run.errors, "--serial 0x00001000: the image holds 0x56 0x65 0x6C 0x6D"));
    EXPECT_EQ(0, refused.Count("open"));
    EXPECT_EQ(3u, Rows(record).size());
}

}  // namespace
