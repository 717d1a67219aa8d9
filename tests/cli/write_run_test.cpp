// velmora-cli's write runs in process against the simulated board, in virtual time: the options
// every velmora-cli run takes, against boards that follow the hardware manuals where the window's
// design says less, with the outcome line and the exit code the operator gets.
#include "cli/write_run_options.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bootmode/mod_update_1527.h"
#include "cli/bit_rate_option.h"
#include "cli/exit_codes.h"
#include "cli/run_conclusion.h"
#include "image/srec_reader.h"
#include "support/in_process_board.h"
#include "update/operator.h"
#include "update/update_thread.h"

namespace {

// Blocks at 0x000 and 0x100; 0x080 stays blank.
const char kFirmware[] =
    "S214000000000102030405060708090A0B0C0D0E0F73\n"
    "S214000100101112131415161718191A1B1C1D1E1F72\n"
    "S804000000FB\n";

const char kPort[] = "/dev/ttySIM0";

struct WriteRun {
    RunOutcome outcome;
    RunConclusion conclusion;
    std::wstring log;
};

class LogOperator final : public Operator {
public:
    void AppendLog(const wchar_t* text) override { log += text; }
    std::wstring log;
};

class WriteRunTest : public testing::Test {
protected:
    void SetUp() override {
        SRECReader reader;
        ASSERT_TRUE(reader.Parse(kFirmware, static_cast<int>(sizeof(kFirmware) - 1)));
        image_ = std::make_shared<const FirmwareImage>(LayFirmwareImage(reader));
    }

    // One write of the image to a board with `boardOptions`, as velmora-cli runs it.
    // `driverLimit`: the fastest rate the port's driver sets.
    WriteRun Write(const std::vector<std::string>& boardOptions, const WriteRequest& request,
                   std::optional<int32_t> driverLimit = std::nullopt) {
        board_ = std::make_unique<InProcessBoard>(boardOptions, kPort);
        EXPECT_TRUE(board_->ready());
        if (driverLimit) {
            board_->RefuseBitRatesAbove(*driverLimit);
        }
        ModUpdate1527 module(board_->Link(), board_->Clock());
        LogOperator reports;
        UpdateJob job;
        job.portName = L"/dev/ttySIM0";
        job.image = image_;
        job.options = WriteRunOptions(request);
        UpdateThread run(module, reports, job);
        EXPECT_TRUE(run.Start(0));
        run.WaitUntilFinished();
        WriteRun result{run.Outcome(), {}, reports.log};
        result.conclusion = ConcludeRun(result.outcome, StopSignal::None, kPort);
        return result;
    }

    Bytes ExpectedFlash() const {
        Bytes flash(512 * 1024, 0xFF);
        for (int i = 0; i < 16; ++i) {
            flash[i] = static_cast<uint8_t>(i);
            flash[0x100 + i] = static_cast<uint8_t>(0x10 + i);
        }
        return flash;
    }

    std::shared_ptr<const FirmwareImage> image_;
    std::unique_ptr<InProcessBoard> board_;
};

WriteRequest Fast() {
    WriteRequest request;
    request.fast = true;
    return request;
}

WriteRequest FastAt(const std::string& bitRate) {
    WriteRequest request = Fast();
    request.bitRates = ChooseBitRates(bitRate).rates;
    return request;
}

TEST_F(WriteRunTest, ABoardThatTakesOnlyTheDocumentedEndFrameIsProgrammed) {
    for (const bool fast : {false, true}) {
        WriteRequest request;
        request.fast = fast;
        const WriteRun run = Write({"--documented-end-only"}, request);
        EXPECT_EQ(0, run.conclusion.exitCode) << run.conclusion.text;
        EXPECT_TRUE(run.outcome.endAcknowledged);
        EXPECT_EQ(1, board_->Count("end-of-programming", "50 FF FF FF FF B4"));
        EXPECT_EQ(ExpectedFlash(), board_->Flash());
    }
}

TEST_F(WriteRunTest, AnImageLargerThanTheUserMatIsRefusedBeforeTheErase) {
    const WriteRun run = Write({"--user-mat-size", "0x100"}, Fast());
    EXPECT_EQ(16, run.conclusion.exitCode) << run.conclusion.text;
    EXPECT_EQ(FailureCause::ImageDoesNotFit, run.outcome.failure.cause);
    EXPECT_EQ(1, run.outcome.attempts);
    EXPECT_EQ(0, board_->Count("erase"));
    EXPECT_NE(std::wstring::npos, run.log.find(L"---> user MAT : 0x00000000 - 0x000000FF\r\n"));
}

TEST_F(WriteRunTest, AnEraseLongerThanTheDesignsBoundIsWaitedForUpToTheOption) {
    for (const bool fast : {false, true}) {
        WriteRequest request;
        request.fast = fast;
        const WriteRun waited = Write({"--erase-time", "5"}, request);
        EXPECT_EQ(0, waited.conclusion.exitCode) << waited.conclusion.text;
        EXPECT_EQ(ExpectedFlash(), board_->Flash());

        request.eraseTimeoutSeconds = 2;
        const WriteRun given = Write({"--erase-time", "5"}, request);
        EXPECT_EQ(20, given.conclusion.exitCode);
        EXPECT_EQ(1, given.outcome.attempts);
        EXPECT_NE(std::string::npos, given.conclusion.text.find("within 2 s"))
            << given.conclusion.text;
        EXPECT_NE(std::string::npos, given.conclusion.text.find("--erase-timeout"))
            << given.conclusion.text;
    }
}

TEST_F(WriteRunTest, AFailureBeforeTheEraseStartsTheRunOverUpToTheRetries) {
    const WriteRun retried = Write({"--reject-once", "0x3F"}, Fast());
    EXPECT_EQ(0, retried.conclusion.exitCode) << retried.conclusion.text;
    EXPECT_EQ(2, retried.outcome.attempts);
    EXPECT_NE(std::wstring::npos, retried.log.find(L"---> starting over from [01]: retry 1 of 2"));
    EXPECT_EQ(ExpectedFlash(), board_->Flash());

    WriteRequest once = Fast();
    once.retries = 0;
    const WriteRun failed = Write({"--reject-once", "0x3F"}, once);
    EXPECT_EQ(18, failed.conclusion.exitCode);
    EXPECT_EQ(1, failed.outcome.attempts);

    // Every attempt meets the same refusal: the last one's failure is the run's.
    const WriteRun exhausted = Write({"--no-confirm"}, Fast());
    EXPECT_EQ(19, exhausted.conclusion.exitCode);
    EXPECT_EQ(3, exhausted.outcome.attempts);
}

TEST_F(WriteRunTest, OnlyABlockRefusedForItsChecksumIsSentOnceMore) {
    const WriteRun resent = Write({"--block-error", "1:0x11"}, Fast());
    EXPECT_EQ(0, resent.conclusion.exitCode) << resent.conclusion.text;
    EXPECT_EQ(2, board_->Count("block", "\"address\":0,"));
    EXPECT_EQ(ExpectedFlash(), board_->Flash());

    // An address error is no fault of the line: the block is not sent again.
    const WriteRun refused = Write({"--block-error", "1:0x2A"}, Fast());
    EXPECT_EQ(21, refused.conclusion.exitCode);
    EXPECT_EQ(1, board_->Count("block"));
}

TEST_F(WriteRunTest, ALateEndAckIsWaitedForAndNeverTakenForADifference) {
    WriteRequest request = Fast();
    request.verify = true;
    const WriteRun late = Write({"--end-ack-late", "1000"}, request);
    EXPECT_EQ(0, late.conclusion.exitCode) << late.conclusion.text;
    EXPECT_TRUE(late.outcome.verifiedSum.has_value());

    // Later than the wait, the ACK comes ahead of the sum check's reply: nothing was compared.
    const WriteRun later = Write({"--end-ack-late", "5000"}, request);
    EXPECT_EQ(21, later.conclusion.exitCode) << later.conclusion.text;
    EXPECT_EQ(FailureCause::Refused, later.outcome.failure.cause);
    EXPECT_NE(std::string::npos, later.conclusion.text.find("(0x4B) was answered 0x06 0x5B"))
        << later.conclusion.text;

    const WriteRun unverified = Write({"--end-ack-late", "5000"}, Fast());
    EXPECT_EQ(6, unverified.conclusion.exitCode) << unverified.conclusion.text;
}

TEST_F(WriteRunTest, AMalformedSumCheckReplyIsTheStepsFailureNotADifference) {
    WriteRequest request = Fast();
    request.verify = true;
    const WriteRun run = Write({"--bad-reply-sum", "0x4B"}, request);
    EXPECT_EQ(21, run.conclusion.exitCode) << run.conclusion.text;
    EXPECT_EQ(FailureCause::MalformedReply, run.outcome.failure.cause);
    EXPECT_NE(std::string::npos, run.conclusion.text.find("the flash could not be checked"))
        << run.conclusion.text;
}

TEST_F(WriteRunTest, TheSciLimitOf625000ProgramsTheBoard) {
    const WriteRun run = Write({}, FastAt("625000"));
    EXPECT_EQ(0, run.conclusion.exitCode) << run.conclusion.text;
    EXPECT_EQ(625000, run.outcome.bitRate);
    EXPECT_EQ(ExpectedFlash(), board_->Flash());
    EXPECT_GE(board_->Count("rx", "\"bit_rate\":625000,"), 2);
}

TEST_F(WriteRunTest, RatesThePortsDriverRefusesAreDroppedBeforeTheBoardIsTouched) {
    const WriteRun run = Write({}, FastAt("max"), 200000);
    EXPECT_EQ(0, run.conclusion.exitCode) << run.conclusion.text;
    EXPECT_EQ(156300, run.outcome.bitRate);
    EXPECT_EQ(0, run.outcome.fallbacks);
    // Boot mode was entered once, and at the rate that programmed.
    EXPECT_EQ(1, board_->Count("matching", "\"answered\":true"));
    EXPECT_NE(std::wstring::npos,
              run.log.find(L"---> the port does not run at 312500 BPS: the driver refused it"));
    EXPECT_EQ(ExpectedFlash(), board_->Flash());

    // A rate given by itself fails where it would be set, without the board seeing the port.
    const WriteRun given = Write({}, FastAt("312500"), 200000);
    EXPECT_EQ(StepFailedExitCode(Step::ChangingBitRate), given.conclusion.exitCode);
    EXPECT_EQ(0, board_->Count("open"));
    EXPECT_NE(std::string::npos, given.conclusion.text.find("try a lower rate"))
        << given.conclusion.text;
}

TEST_F(WriteRunTest, MaxStartsOverLowerWhileBlocksDoNotGetThroughAndErasesEachTime) {
    const WriteRun run = Write({"--garble-above", "76800"}, FastAt("max"));
    EXPECT_EQ(0, run.conclusion.exitCode) << run.conclusion.text;
    EXPECT_EQ(76800, run.outcome.bitRate);
    // Once at each of 625000, 312500, 156300 and 125000, never at a rate a second time.
    EXPECT_EQ(4, run.outcome.fallbacks);
    EXPECT_EQ(5, run.outcome.attempts);
    EXPECT_EQ(5, board_->Count("erase", "\"phase\":\"done\""));
    EXPECT_EQ(ExpectedFlash(), board_->Flash());
    for (const wchar_t* rate : {L"625000", L"312500", L"156300", L"125000"}) {
        EXPECT_NE(std::wstring::npos,
                  run.log.find(std::wstring(L"---> the blocks did not get through at ") + rate +
                               L" BPS: starting over"))
            << rate;
    }

    // A rate given by itself is the operator's: its spoilt blocks fail [11].
    const WriteRun given = Write({"--garble-above", "76800"}, FastAt("125000"));
    EXPECT_EQ(StepFailedExitCode(Step::Programming), given.conclusion.exitCode);
    EXPECT_EQ(1, given.outcome.attempts);
    EXPECT_EQ(0, given.outcome.fallbacks);
}

TEST_F(WriteRunTest, MaxFallsBackOnceForABlockNeverAnswered) {
    const WriteRun run = Write({"--block-silent", "1"}, FastAt("max"));
    EXPECT_EQ(0, run.conclusion.exitCode) << run.conclusion.text;
    EXPECT_EQ(312500, run.outcome.bitRate);
    EXPECT_EQ(1, run.outcome.fallbacks);
    EXPECT_EQ(2, board_->Count("erase", "\"phase\":\"done\""));
    EXPECT_EQ(ExpectedFlash(), board_->Flash());
}

TEST_F(WriteRunTest, MaxDoesNotFallBackForABlockTheBoardRefusesForAnotherReason) {
    const WriteRun run = Write({"--block-nak", "1:0x15"}, FastAt("max"));
    EXPECT_EQ(StepFailedExitCode(Step::Programming), run.conclusion.exitCode);
    EXPECT_EQ(0, run.outcome.fallbacks);
}

}  // namespace
