// The boot program against a correct host, in process: what it runs before the first reset, and
// what it rejects.
#include <gtest/gtest.h>

#include <string>

#include "board_sim/host_session.h"

namespace {

const Bytes kAck{0x06};
constexpr size_t kFlashSize = 512 * 1024;

TEST(BoardSimSessionTest, RunsTheOldFirmwareUntilTheFirstReset) {
    InProcessLine sim({});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(sim.Open(9600));
    EXPECT_TRUE(sim.Unanswered({0x00}));
    EXPECT_TRUE(sim.WaitFor("violation", 1, "user program"));
    sim.Close();

    // Closing at another rate than 19200 bps resets nothing.
    EXPECT_EQ(sim.Count("reset"), 0);
    const Bytes flash = sim.board().Flash();
    ASSERT_EQ(flash.size(), kFlashSize);
    EXPECT_EQ(std::string(flash.begin(), flash.begin() + 13), "old firmware ");
}

TEST(BoardSimSessionTest, RejectsSelectionsThatARealBootProgramWould) {
    InProcessLine sim({});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachDeviceSelection(sim));

    Bytes badSum = kSelectOwnDevice;
    badSum.back() ^= 0x01;
    const Bytes decoyCode = WithSum({0x10, 0x04, 0x15, 0x20, 0x03, 0x33});
    const Bytes clockMode1 = WithSum({0x11, 0x01, 0x01});
    const Bytes inputClock20MHz = WithSum({0x3F, 0x07, 0x01, 0x80, 0x07, 0xD0, 0x02, 0x02, 0x01});
    const Bytes ratio3 = WithSum({0x3F, 0x07, 0x01, 0x80, 0x01, 0xF4, 0x02, 0x08, 0x03});
    const Bytes rate115200 = WithSum({0x3F, 0x07, 0x04, 0x80, 0x01, 0xF4, 0x02, 0x08, 0x04});
    const struct {
        const char* what;
        Bytes frame;
        Bytes reply;
    } steps[] = {
        {"clock mode before a device", kSetClockMode0, {0x91, 0x80}},
        {"device selection with a wrong SUM", badSum, {0x90, 0x11}},
        {"the decoy's device code", decoyCode, {0x90, 0x21}},
        {"an unknown command", {0x7A}, {0x80, 0x80}},
        {"the MCU's own device", kSelectOwnDevice, kAck},
        {"an unsupported clock mode", clockMode1, {0x91, 0x22}},
        {"clock mode 0", kSetClockMode0, kAck},
        {"an input clock the board lacks", inputClock20MHz, {0xBF, 0x25}},
        {"a multiplication ratio of 3", ratio3, {0xBF, 0x26}},
        {"115200 bps, 8.5 % off what the SCI makes", rate115200, {0xBF, 0x24}},
        {"status inquiry", {0x4F}, WithSum({0x5F, 0x02, 0x13, 0x24})},
        {"programming before the erase", BlockFrame(0, 0), {0xD0, 0x80}},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(sim.Exchange(step.frame, step.reply.size()), step.reply) << step.what;
    }

    // The confirmation is understood only at the new rate.
    EXPECT_EQ(sim.Exchange(kSelect38400, 1), kAck);
    EXPECT_TRUE(sim.Unanswered({0x06}));
    ASSERT_TRUE(sim.Open(38400));
    EXPECT_EQ(sim.Exchange({0x06}, 1), kAck);

    // Bytes at another rate are garbage to the MCU: no reply, a violation, no state change.
    ASSERT_TRUE(sim.Open(9600));
    EXPECT_TRUE(sim.Unanswered({0x40}));
    EXPECT_TRUE(sim.WaitFor("violation", 1, "garbage"));
    ASSERT_TRUE(sim.Open(38400));
    EXPECT_EQ(sim.Exchange({0x4F}, 5), WithSum({0x5F, 0x02, 0x1F, 0x00}));
}

TEST(BoardSimSessionTest, RejectsBlocksThatARealBootProgramWould) {
    InProcessLine sim({"--erase-time", "0"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachProgramming(sim));

    Bytes badSum = BlockFrame(0x100, 1);
    badSum.back() ^= 0x80;
    const struct {
        const char* what;
        Bytes frame;
        Bytes reply;
    } steps[] = {
        {"a wrong SUM", badSum, {0xD0, 0x11}},
        {"an unaligned address", BlockFrame(0x140, 2), {0xD0, 0x2A}},
        {"the first address past the flash", BlockFrame(0x80000, 3), {0xD0, 0x2A}},
        {"an address far outside", BlockFrame(0xFFFFFF00, 4), {0xD0, 0x2A}},
        {"the last unit", BlockFrame(0x7FF80, 5), kAck},
        {"the last unit again, no longer erased", BlockFrame(0x7FF80, 6), {0xD0, 0x53}},
        {"a second erase", {0x40}, {0xC0, 0x80}},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(sim.Exchange(step.frame, step.reply.size()), step.reply) << step.what;
    }
    EXPECT_EQ(sim.Exchange({0x4F}, 5), WithSum({0x5F, 0x02, 0x4F, 0x80}));

    // A block whose address starts with 0xB0 begins like the end frame: it stays a block.
    Bytes lookalike = BlockFrame(0xB0000000, 7);
    ASSERT_EQ(lookalike[1], 0xB0);
    ASSERT_TRUE(sim.Send(Bytes(lookalike.begin(), lookalike.begin() + 2)));
    // The frame arrives in two pieces, as from a host that pauses after its first bytes.
    sim.board().Sleep(2);
    EXPECT_EQ(sim.Exchange(Bytes(lookalike.begin() + 2, lookalike.end()), 2), Bytes({0xD0, 0x2A}));
    EXPECT_EQ(sim.Count("end-of-programming"), 0);

    // The six-byte end frame with address 0xFFFFFFFF ends programming as well.
    EXPECT_EQ(sim.Exchange(WithSum({0x50, 0xFF, 0xFF, 0xFF, 0xFF}), 1), kAck);
    ASSERT_TRUE(sim.WaitFor("dump", 1));
    const Bytes flash = sim.board().Flash();
    ASSERT_EQ(flash.size(), kFlashSize);
    EXPECT_EQ(flash[0x100], 0xFF) << "the block with the wrong SUM was not programmed";
    EXPECT_EQ(flash[0x7FF80], 5) << "the first write of the last unit stands";
}

}  // namespace
