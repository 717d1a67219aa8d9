// A verifying host's view of the board: user MAT inquiry, sum, read-back, block timing, faults.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "board_sim/sim_harness.h"

namespace {

const Bytes kAck{0x06};

TEST(BoardSimVerifyTest, BlockAckWaitsForTheWireAndTheProgrammingTime) {
    constexpr int kProgramMs = 40;
    SimProcess sim({"--erase-time", "0", "--program-time", std::to_string(kProgramMs)});
    ASSERT_TRUE(sim.ready());
    HostPort host;
    ASSERT_TRUE(ReachProgramming(sim, host));

    const Bytes frame = BlockFrame(0x0, 1);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(host.Send(frame));
    EXPECT_EQ(host.Receive(1, 2000), kAck);
    const long long tookUs = std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
    // 10 bits a byte at 38400 bps: the whole frame in, the programming, and the ACK out.
    const long long earliestUs = (frame.size() + 1) * 10 * 1000000LL / 38400 + kProgramMs * 1000;
    EXPECT_GE(tookUs, earliestUs);
    EXPECT_LT(tookUs, earliestUs + 500000) << "a behaviour, not a benchmark";
    RecordProperty("block_round_trip_us", std::to_string(tookUs));

    // While the flash is busy the boot program takes nothing in: the status inquiry is lost.
    Bytes frameAndInquiry = BlockFrame(0x80, 2);
    frameAndInquiry.push_back(0x4F);
    EXPECT_EQ(host.Exchange(frameAndInquiry, 6, 300), kAck);
    EXPECT_TRUE(sim.WaitFor("violation", 1, "while programming"));
}

}  // namespace
