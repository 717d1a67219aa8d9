// Sessions against a simulated board that misbehaves before programming: matching, handshake,
// inquiries, selections, the bit-rate confirmation and the programming state.
#include <gtest/gtest.h>

#include "board_session.h"

namespace {

bool Connect(BoardSession& session) {
    return session.module.OpenCom(session.board.PortName().c_str()) &&
           session.module.SetBootMode(false) && session.module.ConnectApprove();
}

}  // namespace

TEST(ConnectionFaults, MatchingAnsweredOnlyOnThe30thByteGoesOnToTheHandshake) {
    BoardSession session({"--match-on", "30"});
    ASSERT_TRUE(session.board.ready());
    EXPECT_TRUE(Connect(session));
    EXPECT_EQ(session.board.Count("matching"), 30);
    EXPECT_TRUE(g_reports.errors.empty());
}

TEST(ConnectionFaults, NoMatchingAnswerIn30AttemptsFailsWithoutAReport) {
    BoardSession session({"--never-match"});
    ASSERT_TRUE(session.board.ready());
    EXPECT_FALSE(Connect(session));
    EXPECT_EQ(session.board.HostBytes(), Bytes(30, 0x00));
    EXPECT_TRUE(g_reports.errors.empty());
}

TEST(ConnectionFaults, AWrongHandshakeReplyIsReported) {
    BoardSession session({"--handshake-reply", "0x15"});
    ASSERT_TRUE(session.board.ready());
    EXPECT_FALSE(Connect(session));
    EXPECT_EQ(g_reports.errors,
              std::vector<std::string>{"ModUpdate1527::ConnectApprove() - No boot response: 0x55 "
                                       "was not answered by 0xE6 !"});
}

TEST(InquiryFaults, AnEmptyDeviceListGivesNoEntries) {
    BoardSession session({"--devices", "empty"});
    ASSERT_TRUE(session.board.ready());
    ASSERT_TRUE(Connect(session));
    DeviceList devices;
    ASSERT_TRUE(session.module.InquireDevices(devices));
    EXPECT_EQ(devices.count, 0);
    EXPECT_TRUE(devices.entries.empty());
}

TEST(InquiryFaults, ASizeByteBeyondTheReplyFails) {
    BoardSession session({"--oversize-device-reply"});
    ASSERT_TRUE(session.board.ready());
    ASSERT_TRUE(Connect(session));
    DeviceList devices;
    EXPECT_FALSE(session.module.InquireDevices(devices));
}

TEST(ConnectionFaults, MoreBitRateRatiosThanTheParameterBlockHoldsAreNotSent) {
    BoardSession session({});
    ASSERT_TRUE(session.board.ready());
    ASSERT_TRUE(Connect(session));
    Bytes before = session.board.HostBytes();
    // The block is 85 bytes: 5 fixed parameters leave room for 80 ratios, not 81.
    uint8_t block[85] = {0x01, 0x80, 0x01, 0xF4, 81};
    EXPECT_FALSE(session.module.SelectBPS(block));
    EXPECT_EQ(before, session.board.HostBytes());
}

TEST(InquiryFaults, ARejectedDeviceSelectionStopsBeforeTheClockMode) {
    BoardSession session({"--reject-command", "0x10"});
    ASSERT_TRUE(session.board.ready());
    EXPECT_FALSE(ReachFastLink(session.module, session.board.PortName()));
    EXPECT_EQ(session.board.Count("fault", "reject-command"), 1);
    EXPECT_EQ(session.board.HostBytes().back(), 0x77);  // the selection frame's SUM
}

TEST(InquiryFaults, AMissingConfirmationAt38400Fails) {
    BoardSession session({"--no-confirm"});
    ASSERT_TRUE(session.board.ready());
    EXPECT_FALSE(ReachFastLink(session.module, session.board.PortName()));
    EXPECT_EQ(session.board.Count("fault", "no-confirm"), 1);
    EXPECT_TRUE(g_reports.errors.empty());
}

TEST(EraseFaults, AnEraseAckAfterTheFirst3SecondsIsNotWaitedFor) {
    BoardSession session({"--erase-time", "4"});
    ASSERT_TRUE(session.board.ready());
    ASSERT_TRUE(ReachFastLink(session.module, session.board.PortName()));
    EXPECT_FALSE(session.module.SetProgrammingMode());
    EXPECT_TRUE(g_reports.status.empty());
    EXPECT_EQ(session.board.HostBytes().back(), 0x40);
}

TEST(EraseFaults, AStatusReplyWithAnErrorIsRejected) {
    BoardSession session({"--status-error", "0x01"});
    ASSERT_TRUE(session.board.ready());
    ASSERT_TRUE(ReachFastLink(session.module, session.board.PortName()));
    EXPECT_FALSE(session.module.SetProgrammingMode());
    EXPECT_EQ(g_reports.status.size(), 5u);
    EXPECT_EQ(session.board.HostBytes().back(), 0x4F);  // no user MAT selection follows
}
