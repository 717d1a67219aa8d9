// Sessions against a simulated board that misbehaves while blocks are programmed, and an image
// without data. One board serves several sessions: its faults count blocks since it started.
#include <gtest/gtest.h>

#include <chrono>

#include "board_session.h"
#include "image/srec_reader.h"

namespace {

const char kNoResponse[] = "ERROR : No response while programming !\r\n";

struct Programming : BoardSession {
    explicit Programming(const std::vector<std::string>& options) : BoardSession(options) {
        EXPECT_TRUE(firmware.Parse(ReadSample("two-blocks-s1.mot")));
    }

    SRECReader firmware;
};

}  // namespace

TEST(BlockReplyFaults, BlockRepliesAreReportedAndAnImageWithoutDataSendsNothing) {
    Programming run({"--block-nak", "1:0x15", "--block-error", "2:0x2A"});
    ASSERT_TRUE(run.board.ready());
    ASSERT_TRUE(ReachProgramming(run.module, run.board.PortName()));

    EXPECT_FALSE(run.module.ProgrammingSequence(&run.firmware));
    EXPECT_EQ(g_reports.errors.back(), "ERROR : sending firmware failed by 0x15\r\n");
    EXPECT_TRUE(run.module.Reboot());

    ASSERT_TRUE(ReachProgramming(run.module, run.board.PortName()));
    EXPECT_FALSE(run.module.ProgrammingSequence(&run.firmware));
    EXPECT_EQ(g_reports.errors.back(),
              "ERROR : Programming stopped by address error - address is not in the MAT.\r\n");
    EXPECT_EQ(run.board.Count("block"), 2);

    // A file without data records: nothing is sent, and the port closes.
    SRECReader empty;
    const std::string noData = "S00600004844521B\nS9030000FC\n";
    ASSERT_TRUE(empty.Parse(noData.data(), static_cast<int>(noData.size())));
    EXPECT_TRUE(run.module.ProgrammingSequence(&empty));
    EXPECT_EQ(g_reports.status.back(), " ");
    EXPECT_FALSE(run.module.WaitPortReady(1));
    EXPECT_EQ(run.board.Count("block"), 2);
    EXPECT_EQ(run.board.Count("end-of-programming"), 0);
    // An image of no size is a failure, unlike one without data.
    EXPECT_FALSE(run.module.ProgramImage(FirmwareImage()));
    EXPECT_EQ(run.board.Count("end-of-programming"), 0);
}

TEST(SilentBlockAndEnd, NoBlockReplyFailsAndANakedEndStillSucceeds) {
    Programming run({"--block-silent", "1", "--end-nak", "0x15"});
    ASSERT_TRUE(run.board.ready());
    ASSERT_TRUE(ReachProgramming(run.module, run.board.PortName()));
    EXPECT_FALSE(run.module.ProgrammingSequence(&run.firmware));
    EXPECT_NE(g_reports.log.find(kNoResponse), std::string::npos);
    EXPECT_TRUE(g_reports.errors.empty());
    EXPECT_TRUE(run.module.Reboot());

    g_reports.Reset();
    ASSERT_TRUE(ReachProgramming(run.module, run.board.PortName()));
    EXPECT_TRUE(run.module.ProgrammingSequence(&run.firmware));
    EXPECT_NE(g_reports.log.find("Sending firmware failed by 21 \r\n"), std::string::npos);
    EXPECT_EQ(run.board.Count("end-of-programming"), 1);
    EXPECT_EQ(run.board.Count("block", "programmed"), 7);
}

// The adapter is unplugged after the first block and plugged in again, under the same name, with
// a board that still runs its old firmware.
TEST(LinkLoss, TheLostDeviceFailsTheBlockAtOnceAndTheRepluggedOneGetsNoStaleFrame) {
    Programming run({"--vanish-after-block", "1"});
    ASSERT_TRUE(run.board.ready());
    ASSERT_TRUE(ReachProgramming(run.module, run.board.PortName()));

    const std::chrono::nanoseconds start = run.board.Now();
    EXPECT_FALSE(run.module.ProgrammingSequence(&run.firmware));
    EXPECT_LT(run.board.Now() - start, std::chrono::milliseconds(2000))
        << "the block's waits ran out instead of ending with the link";
    EXPECT_EQ(g_reports.errors,
              std::vector<std::string>{"ModUpdate1527::ProgrammingSequence() - The COM port was "
                                       "lost: its device has gone away !"});
    EXPECT_EQ(g_reports.log.find(kNoResponse), std::string::npos);
    EXPECT_EQ(run.board.Count("block"), 1);
    EXPECT_FALSE(run.module.Reboot());
    EXPECT_EQ(g_reports.errors.back(), "ModUpdate1527::Reboot() - On Error while open COM port !");

    run.board.Replug({});
    EXPECT_TRUE(run.module.Reboot());
    EXPECT_EQ(run.board.Count("reset"), 1);
    EXPECT_EQ(run.board.HostBytes(), Bytes{});
}
