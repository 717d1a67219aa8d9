// The update run natively: the real module and POSIX port against the simulated board, with the
// operator routines recorded. Checks the whole transcript, the order of the calls into the
// dialog, each way out, and the flash the board ends up with.
#include "serial/rs232c_port.h"
#include "update/update_thread.h"

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bootmode/mod_update_1527.h"
#include "image/srec_reader.h"
#include "support/recording_operator.h"
#include "support/sim_board.h"
#include "support/transcripts.h"
#include "support/wait_until.h"
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
// out of the run caused. The two quick 19200 openings of [01] and [02] reset the board too, but
// the simulator can miss the second on a loaded machine ([03] reopens the port at once).
int ResetsAfterMatching(const SimBoard& sim) {
    int resets = 0;
    bool matching = false;
    for (const std::string& line : sim.LogLines()) {
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
std::string LastPortRecord(const SimBoard& sim) {
    std::string last;
    for (const std::string& line : sim.LogLines()) {
        if (line.find("\"kind\":\"open\"") != std::string::npos) {
            last = "open";
        } else if (line.find("\"kind\":\"close\"") != std::string::npos) {
            last = "close";
        }
    }
    return last;
}

// The resets a way out of the run caused, counted once the board has logged the run's last
// closing and the `expected` resets. The board logs a close a moment after the host's, together
// with the reset that a close at 19200 bps causes.
int WayOutResets(const SimBoard& sim, int expected) {
    WaitUntil(
        [&] { return LastPortRecord(sim) == "close" && ResetsAfterMatching(sim) >= expected; },
        5000, 5);
    return ResetsAfterMatching(sim);
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
    }

    void TearDown() override {
        if (!shortLink_.empty()) {
            unlink(shortLink_.c_str());
            rmdir(shortLink_.substr(0, shortLink_.rfind('/')).c_str());
        }
    }

    // The dialog hands over at most 39 characters of port name: a short link to the simulator's.
    std::string ShortName(const std::string& link) {
        char directory[] = "/tmp/velmora.XXXXXX";
        if (mkdtemp(directory) == nullptr) {
            ADD_FAILURE() << "no temporary directory";
            return link;
        }
        shortLink_ = std::string(directory) + "/port";
        EXPECT_EQ(0, symlink(link.c_str(), shortLink_.c_str()));
        return shortLink_;
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
        run_.reset(new UpdateThread(module_, recording_, job));
        ASSERT_TRUE(run_->Start(0));
        run_->WaitUntilFinished();
        EXPECT_FALSE(run_->HasThreadHandle());
    }

    // One run as RunUpdate starts it, on a board that is to vanish during it: the milliseconds from
    // the board's vanish record to the run's end, both seen by polling every 5 ms, which must stay
    // within the bound.
    long long RunUntilVanishedAndEnded(const std::string& port, const SimBoard& sim) {
        using Clock = std::chrono::steady_clock;
        recording_.Reset();
        run_.reset(new UpdateThread(module_, recording_, Job(port)));
        EXPECT_TRUE(run_->Start(0));
        EXPECT_TRUE(sim.WaitFor("vanish", 1, "", 120000)) << "the board never vanished";
        const Clock::time_point vanished = Clock::now();
        WaitUntil([this] { return !run_->HasThreadHandle(); }, kWayOutBoundMilliseconds, 5);
        const long long elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - vanished).count();
        EXPECT_FALSE(run_->HasThreadHandle())
            << "still running " << kWayOutBoundMilliseconds << " ms after the board vanished";
        run_->WaitUntilFinished();
        std::printf("the run had ended %lld ms after the board's vanish record was seen\n",
                    elapsed);
        return elapsed;
    }

    void ExpectMarqueeOffAtTheEnd() {
        std::vector<OperatorCall> calls = recording_.Calls();
        int lastMarquee = LastIndexOf(calls, OperatorCall::Marquee);
        ASSERT_GE(lastMarquee, 0);
        EXPECT_EQ(0, calls[static_cast<size_t>(lastMarquee)].position);
    }

    SRECReader reader_;
    ModUpdate1527 module_{std::make_unique<RS232CPort>()};
    RecordingOperator recording_;
    std::unique_ptr<UpdateThread> run_;
    std::string shortLink_;
};

// A successful run as the window shows it: the transcript, the bar and the status line in order,
// the controls given back, and the image in the board's flash.
void ExpectSuccessfulRun(const RecordingOperator& recording, const std::string& port,
                         SimBoard& sim) {
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

    ASSERT_TRUE(sim.WaitFor("reboot", 1));
    EXPECT_EQ(ExpectedFlash(), sim.ReadDump());
}

TEST_F(UpdateThreadTest, SuccessfulRunLogsEveryStepAndProgramsTheImage) {
    SimBoard sim({"--erase-time", "1"});
    ASSERT_TRUE(sim.ready());
    RunUpdate(Job(ShortName(sim.link())));
    ExpectSuccessfulRun(recording_, shortLink_, sim);
}

// Reply-paced, the run is quicker and the operator sees exactly the same.
TEST_F(UpdateThreadTest, ReplyPacedRunShowsTheSameAsTheDesignsPacing) {
    SimBoard sim({"--erase-time", "1"});
    ASSERT_TRUE(sim.ready());
    RunOptions options;
    options.replyPaced = true;
    RunUpdate(Job(ShortName(sim.link()), options));
    ExpectSuccessfulRun(recording_, shortLink_, sim);
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
    SimBoard sim({"--devices", "no-match"});
    ASSERT_TRUE(sim.ready());
    RunUpdate(Job(ShortName(sim.link())));
    std::wstring log = recording_.LogText();
    std::wstring tail = L"---> Models :\r\n";
    size_t models = log.find(tail);
    ASSERT_NE(std::wstring::npos, models) << std::string(log.begin(), log.end());
    EXPECT_NE(std::wstring::npos, log.find(L"---> no supported mode found !\r\nSTOP.\r\n", models));
    EXPECT_EQ(std::wstring::npos, log.find(L"[05]"));
    ExpectMarqueeOffAtTheEnd();
    ExpectControlsGivenBack(recording_);
    // The way out reopens the port at 19200 and closes it: the board is reset.
    EXPECT_EQ(1, WayOutResets(sim, 1));
}

TEST_F(UpdateThreadTest, UnconfirmedBitRateStopsWithoutAReboot) {
    SimBoard sim({"--no-confirm"});
    ASSERT_TRUE(sim.ready());
    RunUpdate(Job(ShortName(sim.link())));
    std::wstring log = recording_.LogText();
    std::wstring expectedEnd = L"[09] CONFIRM BPS : 38400 \r\n---> failed to confirm BPS !\r\n";
    ASSERT_GE(log.size(), expectedEnd.size());
    EXPECT_EQ(expectedEnd, log.substr(log.size() - expectedEnd.size()));
    ExpectMarqueeOffAtTheEnd();
    ExpectControlsGivenBack(recording_);
    // The way out adds no reset.
    EXPECT_TRUE(sim.WaitFor("close", 4));
    EXPECT_EQ(0, WayOutResets(sim, 0));
}

TEST_F(UpdateThreadTest, RejectedBlockRebootsOnceAndKeepsTheModuleForTheNextRun) {
    SimBoard sim({"--erase-time", "1", "--block-error", "1:0x2A"});
    ASSERT_TRUE(sim.ready());
    RunUpdate(Job(ShortName(sim.link())));
    EXPECT_EQ(ThroughProgrammingState(shortLink_) +
                  L"Error occured : ERROR : Programming stopped by address error - address is "
                  L"not in the MAT.\r\n\r\n"
                  L"---> failed to programming !\r\n",
              recording_.LogText());
    ExpectControlsGivenBack(recording_);
    EXPECT_EQ(1, WayOutResets(sim, 1));

    // The next Write starts again from [01] with the same module.
    RunUpdate(Job("/nonexistent/velmora-port"));
    EXPECT_EQ(MissingPortRun(), recording_.LogText());
}

TEST_F(UpdateThreadTest, SixFailedRebootsStillComplete) {
    SimBoard sim({"--erase-time", "1", "--reboot-link-removed"});
    ASSERT_TRUE(sim.ready());
    RunUpdate(Job(ShortName(sim.link())));
    std::wstring failure =
        L".Error occured : ModUpdate1527::Reboot() - On Error while open COM port !\r\n";
    std::wstring reboots;
    for (int i = 0; i < 6; ++i) {
        reboots += failure;
    }
    EXPECT_EQ(ThroughProgrammingState(shortLink_) + L"----> Ok.\r\n\r\n[12] REBOOTING\r\n" +
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
    SimBoard sim({"--never-match", "--vanish-after-matching", "3"});
    ASSERT_TRUE(sim.ready());
    const std::string port = ShortName(sim.link());
    EXPECT_LT(RunUntilVanishedAndEnded(port, sim), kWayOutBoundMilliseconds);
    EXPECT_EQ(RunBefore("----> Ok.\r\n\r\n[04] SUPPORT MODE CHECK", port) +
                  LostPortReport(L"ConnectApprove") + L"----> Failed\r\n" + kRebootCannotOpen,
              recording_.LogText());
    ExpectMarqueeOffAtTheEnd();
    ExpectControlsGivenBack(recording_);
}

TEST_F(UpdateThreadTest, BoardVanishingWhileProgrammingEndsTheRunAtOnce) {
    SimBoard sim({"--erase-time", "1", "--vanish-after-block", "1"});
    ASSERT_TRUE(sim.ready());
    EXPECT_LT(RunUntilVanishedAndEnded(ShortName(sim.link()), sim), kWayOutBoundMilliseconds);
    EXPECT_EQ(ThroughProgrammingState(shortLink_) + LostPortReport(L"ProgrammingSequence") +
                  L"---> failed to programming !\r\n" + kRebootCannotOpen,
              recording_.LogText());
    ExpectControlsGivenBack(recording_);
}

// Three boards at once, each run with a module, an operator and a port of its own and the one
// image between them: each board gets the image and each operator its own board's log, the third
// none, as nobody watches it. Under ThreadSanitizer this also shows that no run touches another's
// state.
TEST(SeveralBoardsTest, ThreeRunsAtOnceProgramThreeBoards) {
    SRECReader reader;
    ASSERT_TRUE(reader.Parse(kFirmware, static_cast<int>(sizeof(kFirmware) - 1)));
    const auto image = std::make_shared<const FirmwareImage>(LayFirmwareImage(reader));
    const int kBoards = 3;
    const int kWatched = 2;
    std::vector<std::unique_ptr<SimBoard>> sims;
    std::vector<std::unique_ptr<ModUpdate1527>> modules;
    std::vector<std::unique_ptr<RecordingOperator>> recordings;
    NullOperator nobody;
    std::vector<std::unique_ptr<UpdateThread>> runs;
    for (int i = 0; i < kBoards; ++i) {
        sims.emplace_back(new SimBoard({"--erase-time", "0.5"}, "board" + std::to_string(i)));
        ASSERT_TRUE(sims.back()->ready());
        modules.emplace_back(new ModUpdate1527(std::make_unique<RS232CPort>()));
        recordings.emplace_back(new RecordingOperator());
        UpdateJob job;
        job.portName = Wide(sims.back()->link());
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
            i < kWatched ? Wide(ReadTranscript(kSuccessfulRun, sims[i]->link())) : L"";
        EXPECT_EQ(expected, recordings[i]->LogText()) << i;
    }
    for (int i = 0; i < kBoards; ++i) {
        ASSERT_TRUE(sims[i]->WaitFor("reboot", 1)) << i;
        EXPECT_EQ(ExpectedFlash(), sims[i]->ReadDump()) << i;
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
