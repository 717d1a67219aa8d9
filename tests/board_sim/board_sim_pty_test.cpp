// The simulated board's front end on a pseudo-terminal, with a termios host: a whole session and
// its dump and exit, the openings and line settings it tells from the device, and the port's own
// faults.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <thread>

#include "board_sim/host_session.h"

namespace {

const Bytes kAck{0x06};
constexpr size_t kFlashSize = 512 * 1024;

bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// Names and codes from a 0x30 device reply, checking its layout on the way.
std::vector<std::pair<Bytes, std::string>> ParseDeviceReply(const Bytes& reply) {
    std::vector<std::pair<Bytes, std::string>> devices;
    EXPECT_GE(reply.size(), 4u);
    if (reply.size() < 4) {
        return devices;
    }
    EXPECT_EQ(reply[0], 0x30);
    EXPECT_EQ(reply[1] + 3u, reply.size()) << "size byte";
    uint8_t sum = 0;
    for (uint8_t byte : reply) {
        sum = static_cast<uint8_t>(sum + byte);
    }
    EXPECT_EQ(sum, 0) << "SUM";
    size_t at = 3;
    for (int i = 0; i < reply[2] && at < reply.size(); ++i) {
        const size_t length = reply[at];
        if (at + 1 + length > reply.size() - 1) {
            ADD_FAILURE() << "entry " << i << " runs past the reply";
            break;
        }
        devices.emplace_back(Bytes(reply.begin() + at + 1, reply.begin() + at + 5),
                             std::string(reply.begin() + at + 5, reply.begin() + at + 1 + length));
        at += 1 + length;
    }
    return devices;
}

TEST(BoardSimPtyTest, PlaysAWholeUpdateSessionAndRebootsIntoTheNewFirmware) {
    PtyLine sim({"--erase-time", "0.05"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachDeviceSelection(sim));

    const auto devices = ParseDeviceReply(sim.Exchange({0x20}, 48));
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].second, "H8SX 1520R(33MHz)");
    EXPECT_EQ(devices[1].second, "H8SX 1520R(40MHz)");
    EXPECT_EQ(devices[1].first, kOwnDeviceCode);
    EXPECT_NE(devices[0].first, devices[1].first);
    const Bytes modes = sim.Exchange({0x27}, 5);
    EXPECT_EQ(modes, WithSum({0x37, 0x02, 0x00, 0x80}));

    ASSERT_TRUE(ReachBitRateSelection(sim));
    ASSERT_TRUE(ChangeTo38400(sim));
    EXPECT_EQ(sim.Exchange({0x40}, 1), kAck);
    EXPECT_EQ(sim.Exchange({0x4F}, 5), WithSum({0x5F, 0x02, 0x3F, 0x00}));
    EXPECT_EQ(sim.Exchange({0x43}, 1), kAck);
    for (uint32_t address : {0x0u, 0x80u, 0x7FF80u}) {
        EXPECT_EQ(sim.Exchange(BlockFrame(address, static_cast<uint8_t>(address >> 7)), 1), kAck)
            << "block at " << address;
    }
    EXPECT_EQ(sim.Exchange({0x50, 0xB0}, 1), kAck);
    sim.Close();

    // The dump is readable while the simulator runs, right after the end frame.
    ASSERT_TRUE(sim.WaitFor("dump", 1, "end of programming"));
    const Bytes flash = sim.board().ReadDump();
    ASSERT_EQ(flash.size(), kFlashSize);
    for (uint32_t address : {0x0u, 0x80u, 0x7FF80u}) {
        const Bytes block = BlockFrame(address, static_cast<uint8_t>(address >> 7));
        EXPECT_TRUE(std::equal(block.begin() + 5, block.end() - 1, flash.begin() + address))
            << "block at " << address;
    }
    EXPECT_EQ(flash[0x100], 0xFF);
    EXPECT_EQ(flash[0x7FF7F], 0xFF);

    ASSERT_TRUE(sim.Pulse());
    EXPECT_TRUE(sim.WaitFor("reboot", 1, "new-firmware"));
    EXPECT_EQ(sim.Count("violation"), 0) << "a correct host breaks no rule";
    // Sampled every few milliseconds: a loaded machine can also catch a passing state of the same
    // rate, so at least one record, not exactly one.
    EXPECT_GE(sim.Count("settings", "\"bit_rate\":38400,\"data_bits\":8,\"parity\":\"N\""), 1);

    EXPECT_EQ(sim.board().Stop(SIGTERM), 0);
    EXPECT_FALSE(Exists(sim.board().link()));
    EXPECT_EQ(sim.board().ReadDump(), flash);
}

TEST(BoardSimPtyTest, CountsOverlappingOpeningsAsOneSessionAndEndsOnSigint) {
    SimBoard sim({});
    ASSERT_TRUE(sim.ready());
    HostPort first;
    HostPort second;
    ASSERT_TRUE(first.Open(sim.link(), B19200));
    ASSERT_TRUE(second.Open(sim.link(), B19200));
    first.Close();
    // A moment in which a close record must not come: no record tells that none will.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(sim.Count("close"), 0) << "the port is still held";
    second.Close();
    ASSERT_TRUE(sim.WaitFor("reset", 1));
    EXPECT_EQ(sim.Count("open"), 1);
    EXPECT_EQ(sim.Count("close"), 1);

    // The reset erased nothing: the dump at the end still holds the old firmware.
    EXPECT_EQ(sim.Stop(SIGINT), 0);
    const Bytes flash = sim.ReadDump();
    ASSERT_EQ(flash.size(), kFlashSize);
    EXPECT_EQ(std::string(flash.begin(), flash.begin() + 13), "old firmware ");
}

TEST(BoardSimPtyTest, ChangesTo76800ForAHostSetToThatRateThroughTermios2) {
    PtyLine sim({});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachDeviceSelection(sim));
    ASSERT_TRUE(ReachBitRateSelection(sim));
    EXPECT_EQ(sim.Exchange(kSelect76800, 1), kAck);
    ASSERT_TRUE(sim.port().OpenAtExactRate(sim.board().link(), 76800));
    EXPECT_EQ(sim.Exchange({0x06}, 1), kAck);
    EXPECT_EQ(sim.Exchange({0x4F}, 5), WithSum({0x5F, 0x02, 0x1F, 0x00}));

    EXPECT_GE(sim.Count("settings", "\"bit_rate\":76800,"), 1);
    EXPECT_EQ(sim.Count("rx", "\"bytes\":\"4F\",\"bit_rate\":76800,\"understood\":true"), 1);
    // The SCI's divider makes 78125 bps, 1.7 % off the host's rate: the two still understand
    // each other.
    EXPECT_EQ(sim.Count("tx", "\"bit_rate\":78125"), 2);
    EXPECT_EQ(sim.Count("violation"), 0);
}

// A pseudo-terminal forces 8 data bits without parity, so only these settings can be seen.
TEST(BoardSimPtyTest, LogsTheHostsLineSettingsAndTreatsAnotherFrameAsGarbage) {
    PtyLine sim({});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(EnterBootMode(sim));
    ASSERT_TRUE(sim.port().Open(sim.board().link(), B9600, CSTOPB | CRTSCTS, IXON));
    EXPECT_TRUE(sim.Unanswered({0x00}));
    EXPECT_TRUE(sim.WaitFor("settings", 1,
                            "\"bit_rate\":9600,\"data_bits\":8,\"parity\":\"N\",\"stop_bits\":2,"
                            "\"rts_cts\":true,\"ixon\":true"));
    EXPECT_TRUE(sim.WaitFor("violation", 1, "not raw without flow control"));
    EXPECT_TRUE(sim.WaitFor("violation", 1, "garbage"));

    ASSERT_TRUE(sim.Open(9600));
    EXPECT_EQ(sim.Exchange({0x00}, 1), Bytes{0x00});
}

TEST(BoardSimPtyTest, DeviceVanishesAfterTheKthBlock) {
    PtyLine sim({"--vanish-after-block", "2", "--erase-time", "0"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachProgramming(sim));
    EXPECT_EQ(sim.Exchange(BlockFrame(0x000, 1), 1), kAck);
    EXPECT_EQ(sim.Exchange(BlockFrame(0x080, 2), 1), kAck);
    EXPECT_TRUE(sim.Receive(1, 500).empty());
    EXPECT_TRUE(sim.failed()) << "reads fail once the adapter is gone";
    EXPECT_FALSE(Exists(sim.board().link()));
    EXPECT_FALSE(sim.Pulse());
    EXPECT_EQ(sim.board().Stop(SIGTERM), 0);
    EXPECT_EQ(sim.board().ReadDump()[0x080], 2);
}

TEST(BoardSimPtyTest, RebootPortUnavailable) {
    {
        PtyLine sim({"--reboot-link-removed", "--erase-time", "0"});
        ASSERT_TRUE(sim.ready());
        ASSERT_TRUE(ReachProgramming(sim));
        EXPECT_EQ(sim.Exchange({0x50, 0xB0}, 1), kAck);
        sim.Close();
        ASSERT_TRUE(sim.WaitFor("link", 1, "removed"));
        EXPECT_FALSE(sim.Pulse());
    }
    {
        PtyLine sim({"--reboot-unopenable", "2", "--erase-time", "0"});
        ASSERT_TRUE(sim.ready());
        ASSERT_TRUE(ReachProgramming(sim));
        EXPECT_EQ(sim.Exchange({0x50, 0xB0}, 1), kAck);
        sim.Close();
        ASSERT_TRUE(sim.WaitFor("link", 1, "unopenable"));
        EXPECT_FALSE(sim.Pulse());
        ASSERT_TRUE(sim.WaitFor("unopenable-attempt", 1));
        EXPECT_FALSE(sim.Pulse());
        ASSERT_TRUE(sim.WaitFor("link", 1, "device"));
        EXPECT_TRUE(sim.Pulse());
        EXPECT_TRUE(sim.WaitFor("reboot", 1));
    }
}

}  // namespace
