// The update run natively: the real module against the simulated board, in process and in virtual
// time, and once over the POSIX port and a pseudo-terminal in real time, with the operator
// routines recorded. Checks the whole transcript, the order of the calls into the dialog, each way
// out, and the flash the board ends up with.
#include "update/update_thread.h"

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bootmode/mod_update_1527.h"
#include "image/srec_reader.h"
#include "serial/rs232c_port.h"
#include "support/in_process_board.h"
#include "support/recording_operator.h"
#include "support/sim_board.h"
#include "support/transcripts.h"
#include "update/operator.h"

namespace {

const size_t kFlashSize = 512 * 1024;

// Three S2 records of 16 bytes at 0x000000, 0x000100 and 0x000110: blocks 1 and 3 are sent,
// block 2 (0x80..0xFF) is blank, the image ends at 0x000120 + 4, so N = 3.
const char kFirmware[] =
    "S00E000076656C6D6F72612E6D6F747D\n"
    "S214000000000102030405060708090A0B0C0D0E0F73\n"
    "S214000100101112131415161718191A1B1C1D1E1F72\n"
    "S214000110202122232425262728292A2B2C2D2E2F62\n"
    "S804000000FB\n";
const int kBlocks = 3;

// A run whose board is unplugged ends this soon after, instead of waiting its time-outs out.
const int kWayOutBoundMilliseconds = 5000;

// Where the board in process is found.
const char kPortName[] = "/dev/ttySIM0";

std::wstring LostPortReport(const std::wstring& operation) {
    return L"Error occured : ModUpdate1527::" + operation +
           L"() - The COM port was lost: its device has gone away !\r\n";
}

const wchar_t kRebootCannotOpen[] =
    L"Error occured : ModUpdate1527::Reboot() - On Error while open COM port !\r\n";

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

// The transcript of a successful run (tests/data), as the log shows it.
const char kSuccessfulRun[] = "successful_run";

// That transcript on `port` up to `marker`: the log of a run that failed there.
std::wstring RunBefore(const std::string& marker, const std::string& port = "") {
    return Wide(TranscriptBefore(kSuccessfulRun, port, marker));
}

std::wstring Preamble() {
    return RunBefore("[01] CONNECT TEST");
}

// Steps [01] to [10] and the start of [11], as a run that reaches the blocks logs them.
std::wstring ThroughProgrammingState(const std::string& port) {
    return RunBefore("----> Ok.\r\n\r\n[12] REBOOTING", port);
}

std::vector<uint8_t> ExpectedFlash() {
    std::vector<uint8_t> flash(kFlashSize, 0xFF);
    for (int i = 0; i < 16; ++i) {
        flash[0x000 + i] = static_cast<uint8_t>(i);
        flash[0x100 + i] = static_cast<uint8_t>(0x10 + i);
        flash[0x110 + i] = static_cast<uint8_t>(0x20 + i);
    }
    return flash;
}

// Index of the first call of a kind (and text, for Log), or -1.
int IndexOf(const std::vector<OperatorCall>& calls, OperatorCall::Kind kind,
            const std::wstring& text = L"") {
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].kind == kind && (text.empty() || calls[i].text == text)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Resets of the board after the first byte it received at 9600 bps, that is the reboots a way
// out of the run caused; the two quick 19200 openings of [01] and [02] reset it before.
int ResetsAfterMatching(const InProcessBoard& board) {
    int resets = 0;
    bool matching = false;
    for (const std::string& line : board.LogLines()) {
        if (line.find("\"kind\":\"rx\"") != std::string::npos &&
            line.find("\"bit_rate\":9600") != std::string::npos) {
            matching = true;
        } else if (matching && line.find("\"kind\":\"reset\"") != std::string::npos) {
            ++resets;
        }
    }
    return resets;
}

// The kind of the board's last port record, "open" or "close"; empty before the first.
std::string LastPortRecord(const InProcessBoard& board) {
    std::string last;
    for (const std::string& line : board.LogLines()) {
        if (line.find("\"kind\":\"open\"") != std::string::npos) {
            last = "open";
        } else if (line.find("\"kind\":\"close\"") != std::string::npos) {
            last = "close";
        }
    }
    return last;
}

// The resets a way out of the run caused, once the run has ended with the port closed.
int WayOutResets(const InProcessBoard& board) {
    EXPECT_EQ("close", LastPortRecord(board));
    return ResetsAfterMatching(board);
}

int LastIndexOf(const std::vector<OperatorCall>& calls, OperatorCall::Kind kind) {
    for (size_t i = calls.size(); i > 0; --i) {
        if (calls[i - 1].kind == kind) {
            return static_cast<int>(i - 1);
        }
    }
    return -1;
}

// Every run that got past its firmware check gives the controls back as its last call.
void ExpectControlsGivenBack(const RecordingOperator& recording) {
    std::vector<OperatorCall> calls = recording.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(OperatorCall::Enable, calls.back().kind);
    EXPECT_LT(IndexOf(calls, OperatorCall::Disable), LastIndexOf(calls, OperatorCall::Enable));
}

class UpdateThreadTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(reader_.Parse(kFirmware, static_cast<int>(sizeof(kFirmware) - 1)));
        Board({});
    }

    // This test's board, found as kPortName, and a module on its link and clock.
    InProcessBoard& Board(const std::vector<std::string>& options) {
        module_.reset();
        board_ = std::make_unique<InProcessBoard>(options, kPortName);
        module_ = std::make_unique<ModUpdate1527>(board_->Link(), board_->Clock());
        return *board_;
    }

    UpdateJob Job(const std::string& port, const RunOptions& options = RunOptions()) {
        UpdateJob job;
        job.portName = Wide(port);
        job.image = std::make_shared<const FirmwareImage>(LayFirmwareImage(reader_));
        job.options = options;
        return job;
    }

    // One run on the given port, as the Write command starts it; returns when it has ended.
    void RunUpdate(const UpdateJob& job) {
        recording_.Reset();
        run_.reset(new UpdateThread(*module_, recording_, job));
        ASSERT_TRUE(run_->Start(0));
        run_->WaitUntilFinished();
        EXPECT_FALSE(run_->HasThreadHandle());
    }

    // One run on a board that is to vanish during it: the milliseconds from the board's vanish
    // record to the run's end, in virtual time, which must stay within the bound.
    long long RunUntilVanishedAndEnded() {
        RunUpdate(Job(kPortName));
        const std::optional<double> vanished = board_->TimeOf("vanish");
        EXPECT_TRUE(vanished.has_value()) << "the board never vanished";
        const long long elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(
                board_->Now() - std::chrono::duration<double>(vanished.value_or(0)))
                .count();
        std::printf("the run had ended %lld ms after the board's vanish record\n", elapsed);
        return elapsed;
    }

    void ExpectMarqueeOffAtTheEnd() {
        std::vector<OperatorCall> calls = recording_.Calls();
        int lastMarquee = LastIndexOf(calls, OperatorCall::Marquee);
        ASSERT_GE(lastMarquee, 0);
        EXPECT_EQ(0, calls[static_cast<size_t>(lastMarquee)].position);
    }

    SRECReader reader_;
    // The module goes first: its link and clock lead to the board.
    std::unique_ptr<InProcessBoard> board_;
    std::unique_ptr<ModUpdate1527> module_;
    RecordingOperator recording_;
    std::unique_ptr<UpdateThread> run_;
};

// A successful run as the window shows it: the transcript, the bar and the status line in order,
// and the controls given back.
void ExpectSuccessfulRun(const RecordingOperator& recording, const std::string& port) {
    EXPECT_EQ(Wide(ReadTranscript(kSuccessfulRun, port)), recording.LogText());

    std::vector<OperatorCall> calls = recording.Calls();
    ASSERT_FALSE(calls.empty());
    // The bar leaves marquee mode before [11], then counts the blocks up to N of N.
    int marqueeOn = IndexOf(calls, OperatorCall::Marquee);
    int programming = IndexOf(calls, OperatorCall::Log, L"[11] PROGRAMMING\r\n");
    int marqueeOff = LastIndexOf(calls, OperatorCall::Marquee);
    ASSERT_GE(marqueeOn, 0);
    EXPECT_EQ(1, calls[static_cast<size_t>(marqueeOn)].position);
    EXPECT_EQ(0, calls[static_cast<size_t>(marqueeOff)].position);
    EXPECT_LT(marqueeOff, programming);
    std::vector<std::pair<int, int>> progress;
    for (const OperatorCall& call : calls) {
        if (call.kind == OperatorCall::Progress) {
            progress.emplace_back(call.position, call.maximum);
        }
    }
    std::vector<std::pair<int, int>> expectedProgress = {{1, kBlocks}, {2, kBlocks}, {3, kBlocks}};
    EXPECT_EQ(expectedProgress, progress);

    std::vector<std::wstring> statuses;
    for (const OperatorCall& call : calls) {
        if (call.kind == OperatorCall::Status) {
            statuses.push_back(call.text);
        }
    }
    // The board's ACK to 0x40 comes within the first 3 s (a 1 s erase): five waiting messages.
    const std::vector<std::wstring> expectedStatuses = {L"[!] Waiting for MCU erasing .\r",
                                                        L"[!] Waiting for MCU erasing ..\r",
                                                        L"[!] Waiting for MCU erasing ...\r",
                                                        L"[!] Waiting for MCU erasing ....\r",
                                                        L"[!] Waiting for MCU erasing .....\r",
                                                        L"ADDRESS : 0x00000000 (WRITING:128)  \r",
                                                        L"ADDRESS : 0x00000080 (SKIPPED)   \r",
                                                        L"ADDRESS : 0x00000100 (WRITING:128)  \r",
                                                        L"\r\n",
                                                        L"Finializing last MAT block ...",
                                                        L" ",
                                                        L"Completed."};
    EXPECT_EQ(expectedStatuses, statuses);
    ExpectControlsGivenBack(recording);
}

// The dialog hands over at most 39 characters of port name: a short link to the simulator's, in a
// directory of its own that goes with it.
class ShortLink {
public:
    explicit ShortLink(const std::string& target) {
        if (mkdtemp(directory_) == nullptr) {
            ADD_FAILURE() << "no temporary directory";
            return;
        }
        path_ = std::string(directory_) + "/port";
        EXPECT_EQ(0, symlink(target.c_str(), path_.c_str()));
    }
    ~ShortLink() {
        unlink(path_.c_str());
        rmdir(directory_);
    }
    ShortLink(const ShortLink&) = delete;
    ShortLink& operator=(const ShortLink&) = delete;

    const std::string& path() const { return path_; }

private:
    char directory_[20] = "/tmp/velmora.XXXXXX";
    std::string path_;
};

// The one run over the POSIX port and a pseudo-terminal, at the design's pacing in real time.
TEST(UpdateThreadOverAPortTest, SuccessfulRunLogsEveryStepAndProgramsTheImage) {
    SRECReader reader;
    ASSERT_TRUE(reader.Parse(kFirmware, static_cast<int>(sizeof(kFirmware) - 1)));
    SimBoard sim({"--erase-time", "1"});
    ASSERT_TRUE(sim.ready());
    const ShortLink port(sim.link());
    ModUpdate1527 module{std::make_unique<RS232CPort>()};
    RecordingOperator recording;
    UpdateJob job;
    job.portName = Wide(port.path());
    job.image = std::make_shared<const FirmwareImage>(LayFirmwareImage(reader));
    UpdateThread run(module, recording, job);
    ASSERT_TRUE(run.Start(0));
    run.WaitUntilFinished();
    ExpectSuccessfulRun(recording, port.path());
    EXPECT_TRUE(sim.WaitFor("reboot", 1));
    EXPECT_EQ(ExpectedFlash(), sim.ReadDump());
}

// Reply-paced, the run is quicker and the operator sees exactly the same.
TEST_F(UpdateThreadTest, ReplyPacedRunShowsTheSameAsTheDesignsPacing) {
    ASSERT_TRUE(Board({"--erase-time", "1"}).ready());
    RunOptions options;
    options.replyPaced = true;
    RunUpdate(Job(kPortName, options));
    ExpectSuccessfulRun(recording_, kPortName);
    EXPECT_EQ(1, board_->Count("reboot"));
    EXPECT_EQ(ExpectedFlash(), board_->Flash());
}

// The log of a run whose port does not exist.
std::wstring MissingPortRun() {
    return Preamble() +
           L"[01] CONNECT TEST : /nonexistent/velmora-port\r\n"
           L"Error occured : ModUpdate1527::OpenCom() - On Error while open COM port !\r\n"
           L"----> Failed\r\n";
}

TEST_F(UpdateThreadTest, PortThatCannotOpenStopsWithoutAReboot) {
    RunUpdate(Job("/nonexistent/velmora-port"));
    EXPECT_EQ(MissingPortRun(), recording_.LogText());
    ExpectMarqueeOffAtTheEnd();
    ExpectControlsGivenBack(recording_);
}

TEST_F(UpdateThreadTest, NoSupportedDeviceListsTheModelsAndRebootsOnce) {
    ASSERT_TRUE(Board({"--devices", "no-match"}).ready());
    RunUpdate(Job(kPortName));
    std::wstring log = recording_.LogText();
    std::wstring tail = L"---> Models :\r\n";
    size_t models = log.find(tail);
    ASSERT_NE(std::wstring::npos, models) << std::string(log.begin(), log.end());
    EXPECT_NE(std::wstring::npos, log.find(L"---> no supported mode found !\r\nSTOP.\r\n", models));
    EXPECT_EQ(std::wstring::npos, log.find(L"[05]"));
    ExpectMarqueeOffAtTheEnd();
    ExpectControlsGivenBack(recording_);
    // The way out reopens the port at 19200 and closes it: the board is reset.
    EXPECT_EQ(1, WayOutResets(*board_));
}

TEST_F(UpdateThreadTest, UnconfirmedBitRateStopsWithoutAReboot) {
    ASSERT_TRUE(Board({"--no-confirm"}).ready());
    RunUpdate(Job(kPortName));
    std::wstring log = recording_.LogText();
    std::wstring expectedEnd = L"[09] CONFIRM BPS : 38400 \r\n---> failed to confirm BPS !\r\n";
    ASSERT_GE(log.size(), expectedEnd.size());
    EXPECT_EQ(expectedEnd, log.substr(log.size() - expectedEnd.size()));
    ExpectMarqueeOffAtTheEnd();
    ExpectControlsGivenBack(recording_);
    // The way out adds no reset.
    EXPECT_GE(board_->Count("close"), 4);
    EXPECT_EQ(0, WayOutResets(*board_));
}

TEST_F(UpdateThreadTest, RejectedBlockRebootsOnceAndKeepsTheModuleForTheNextRun) {
    ASSERT_TRUE(Board({"--erase-time", "1", "--block-error", "1:0x2A"}).ready());
    RunUpdate(Job(kPortName));
    EXPECT_EQ(ThroughProgrammingState(kPortName) +
                  L"Error occured : ERROR : Programming stopped by address error - address is "
                  L"not in the MAT.\r\n\r\n"
                  L"---> failed to programming !\r\n",
              recording_.LogText());
    ExpectControlsGivenBack(recording_);
    EXPECT_EQ(1, WayOutResets(*board_));

    // The next Write starts again from [01] with the same module.
    RunUpdate(Job("/nonexistent/velmora-port"));
    EXPECT_EQ(MissingPortRun(), recording_.LogText());
}

TEST_F(UpdateThreadTest, SixFailedRebootsStillComplete) {
    ASSERT_TRUE(Board({"--erase-time", "1", "--reboot-link-removed"}).ready());
    RunUpdate(Job(kPortName));
    std::wstring failure =
        L".Error occured : ModUpdate1527::Reboot() - On Error while open COM port !\r\n";
    std::wstring reboots;
    for (int i = 0; i < 6; ++i) {
        reboots += failure;
    }
    EXPECT_EQ(ThroughProgrammingState(kPortName) + L"----> Ok.\r\n\r\n[12] REBOOTING\r\n" +
                  reboots + L"---> Failed to reboot !\r\n\r\n",
              recording_.LogText());
    std::vector<OperatorCall> calls = recording_.Calls();
    int lastStatus = -1;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].kind == OperatorCall::Status) {
            lastStatus = static_cast<int>(i);
        }
    }
    ASSERT_GE(lastStatus, 0);
    EXPECT_EQ(L"Completed.", calls[static_cast<size_t>(lastStatus)].text);
    ExpectControlsGivenBack(recording_);
}

TEST_F(UpdateThreadTest, BoardVanishingWhileMatchingEndsTheRunAtOnce) {
    ASSERT_TRUE(Board({"--never-match", "--vanish-after-matching", "3"}).ready());
    EXPECT_LT(RunUntilVanishedAndEnded(), kWayOutBoundMilliseconds);
    EXPECT_EQ(RunBefore("----> Ok.\r\n\r\n[04] SUPPORT MODE CHECK", kPortName) +
                  LostPortReport(L"ConnectApprove") + L"----> Failed\r\n" + kRebootCannotOpen,
              recording_.LogText());
    ExpectMarqueeOffAtTheEnd();
    ExpectControlsGivenBack(recording_);
}

TEST_F(UpdateThreadTest, BoardVanishingWhileProgrammingEndsTheRunAtOnce) {
    ASSERT_TRUE(Board({"--erase-time", "1", "--vanish-after-block", "1"}).ready());
    EXPECT_LT(RunUntilVanishedAndEnded(), kWayOutBoundMilliseconds);
    EXPECT_EQ(ThroughProgrammingState(kPortName) + LostPortReport(L"ProgrammingSequence") +
                  L"---> failed to programming !\r\n" + kRebootCannotOpen,
              recording_.LogText());
    ExpectControlsGivenBack(recording_);
}

// Three boards at once, each run with a module, an operator and a board of its own and the one
// image between them: each board gets the image and each operator its own board's log, the third
// none, as nobody watches it. Under ThreadSanitizer this also shows that no run touches another's
// state, and that each board in process stays with its run's thread.
TEST(SeveralBoardsTest, ThreeRunsAtOnceProgramThreeBoards) {
    SRECReader reader;
    ASSERT_TRUE(reader.Parse(kFirmware, static_cast<int>(sizeof(kFirmware) - 1)));
    const auto image = std::make_shared<const FirmwareImage>(LayFirmwareImage(reader));
    const int kBoards = 3;
    const int kWatched = 2;
    std::vector<std::unique_ptr<InProcessBoard>> boards;
    std::vector<std::unique_ptr<ModUpdate1527>> modules;
    std::vector<std::unique_ptr<RecordingOperator>> recordings;
    NullOperator nobody;
    std::vector<std::unique_ptr<UpdateThread>> runs;
    for (int i = 0; i < kBoards; ++i) {
        boards.emplace_back(
            new InProcessBoard({"--erase-time", "0.5"}, "board" + std::to_string(i)));
        ASSERT_TRUE(boards.back()->ready());
        modules.emplace_back(new ModUpdate1527(boards.back()->Link(), boards.back()->Clock()));
        recordings.emplace_back(new RecordingOperator());
        UpdateJob job;
        job.portName = Wide(boards.back()->PortName());
        job.image = image;
        job.options.replyPaced = true;
        Operator& reports = i < kWatched ? static_cast<Operator&>(*recordings.back()) : nobody;
        runs.emplace_back(new UpdateThread(*modules.back(), reports, job));
    }
    for (const auto& run : runs) {
        ASSERT_TRUE(run->Start(0));
    }
    for (int i = 0; i < kBoards; ++i) {
        runs[i]->WaitUntilFinished();
        EXPECT_EQ(RunEnd::Completed, runs[i]->Outcome().end) << i;
        EXPECT_EQ(kBlocks - 1, runs[i]->Outcome().blocksAcknowledged) << i;
        const std::wstring expected =
            i < kWatched ? Wide(ReadTranscript(kSuccessfulRun, boards[i]->PortName())) : L"";
        EXPECT_EQ(expected, recordings[i]->LogText()) << i;
    }
    for (int i = 0; i < kBoards; ++i) {
        EXPECT_EQ(1, boards[i]->Count("reboot")) << i;
        EXPECT_EQ(ExpectedFlash(), boards[i]->Flash()) << i;
    }
}

TEST_F(UpdateThreadTest, RunWithoutFirmwareGivesTheControlsBack) {
    UpdateJob job = Job("/nonexistent/velmora-port");
    job.image = nullptr;
    RunUpdate(job);
    EXPECT_EQ(Preamble() + L"ERROR:\r\nfirmware file not selected.\r\n", recording_.LogText());
    std::vector<OperatorCall> calls = recording_.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(OperatorCall::Enable, calls.back().kind);
    EXPECT_EQ(-1, IndexOf(calls, OperatorCall::Disable));
    EXPECT_EQ(RunEnd::NoFirmware, run_->Outcome().end);
}

}  // namespace
