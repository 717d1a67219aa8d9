// The simulated board against a correct host: a whole session, and what the boot program rejects.
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

TEST(BoardSimSessionTest, PlaysAWholeUpdateSessionAndRebootsIntoTheNewFirmware) {
    SimBoard sim({"--erase-time", "0.05"});
    ASSERT_TRUE(sim.ready());
    HostPort host;
    ASSERT_TRUE(ReachDeviceSelection(sim, host));

    const auto devices = ParseDeviceReply(host.Exchange({0x20}, 48));
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].second, "H8SX 1520R(33MHz)");
    EXPECT_EQ(devices[1].second, "H8SX 1520R(40MHz)");
    EXPECT_EQ(devices[1].first, kOwnDeviceCode);
    EXPECT_NE(devices[0].first, devices[1].first);
    const Bytes modes = host.Exchange({0x27}, 5);
    EXPECT_EQ(modes, WithSum({0x37, 0x02, 0x00, 0x80}));

    ASSERT_TRUE(ReachBitRateSelection(host));
    ASSERT_TRUE(ChangeTo38400(sim, host));
    EXPECT_EQ(host.Exchange({0x40}, 1), kAck);
    EXPECT_EQ(host.Exchange({0x4F}, 5), WithSum({0x5F, 0x02, 0x3F, 0x00}));
    EXPECT_EQ(host.Exchange({0x43}, 1), kAck);
    for (uint32_t address : {0x0u, 0x80u, 0x7FF80u}) {
        EXPECT_EQ(host.Exchange(BlockFrame(address, static_cast<uint8_t>(address >> 7)), 1), kAck)
            << "block at " << address;
    }
    EXPECT_EQ(host.Exchange({0x50, 0xB0}, 1), kAck);
    host.Close();

    // The dump is readable while the simulator runs, right after the end frame.
    ASSERT_TRUE(sim.WaitFor("dump", 1, "end of programming"));
    const Bytes flash = sim.ReadDump();
    ASSERT_EQ(flash.size(), kFlashSize);
    for (uint32_t address : {0x0u, 0x80u, 0x7FF80u}) {
        const Bytes block = BlockFrame(address, static_cast<uint8_t>(address >> 7));
        EXPECT_TRUE(std::equal(block.begin() + 5, block.end() - 1, flash.begin() + address))
            << "block at " << address;
    }
    EXPECT_EQ(flash[0x100], 0xFF);
    EXPECT_EQ(flash[0x7FF7F], 0xFF);

    ASSERT_TRUE(PulsePort(sim.link()));
    EXPECT_TRUE(sim.WaitFor("reboot", 1, "new-firmware"));
    EXPECT_EQ(sim.Count("violation"), 0) << "a correct host breaks no rule";
    // Sampled every few milliseconds: a loaded machine can also catch a passing state of the same
    // rate, so at least one record, not exactly one.
    EXPECT_GE(sim.Count("settings", "\"bit_rate\":38400,\"data_bits\":8,\"parity\":\"N\""), 1);

    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    EXPECT_FALSE(Exists(sim.link()));
    EXPECT_EQ(sim.ReadDump(), flash);
}

TEST(BoardSimSessionTest, RunsTheOldFirmwareUntilTheFirstReset) {
    SimBoard sim({});
    ASSERT_TRUE(sim.ready());
    HostPort host;
    ASSERT_TRUE(host.Open(sim.link(), B9600));
    EXPECT_TRUE(host.Unanswered({0x00}));
    EXPECT_TRUE(sim.WaitFor("violation", 1, "user program"));
    host.Close();

    // Closing at another rate than 19200 bps resets nothing.
    EXPECT_EQ(sim.Count("reset"), 0);
    EXPECT_EQ(sim.Stop(SIGINT), 0);
    const Bytes flash = sim.ReadDump();
    ASSERT_EQ(flash.size(), kFlashSize);
    EXPECT_EQ(std::string(flash.begin(), flash.begin() + 13), "old firmware ");
}

TEST(BoardSimSessionTest, CountsOverlappingOpeningsAsOneSession) {
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
}

TEST(BoardSimSessionTest, RejectsSelectionsThatARealBootProgramWould) {
    SimBoard sim({});
    ASSERT_TRUE(sim.ready());
    HostPort host;
    ASSERT_TRUE(ReachDeviceSelection(sim, host));

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
        EXPECT_EQ(host.Exchange(step.frame, step.reply.size()), step.reply) << step.what;
    }

    // The confirmation is understood only at the new rate.
    EXPECT_EQ(host.Exchange(kSelect38400, 1), kAck);
    EXPECT_TRUE(host.Unanswered({0x06}));
    ASSERT_TRUE(host.Open(sim.link(), B38400));
    EXPECT_EQ(host.Exchange({0x06}, 1), kAck);

    // Bytes at another rate are garbage to the MCU: no reply, a violation, no state change.
    ASSERT_TRUE(host.Open(sim.link(), B9600));
    EXPECT_TRUE(host.Unanswered({0x40}));
    EXPECT_TRUE(sim.WaitFor("violation", 1, "garbage"));
    ASSERT_TRUE(host.Open(sim.link(), B38400));
    EXPECT_EQ(host.Exchange({0x4F}, 5), WithSum({0x5F, 0x02, 0x1F, 0x00}));
}

TEST(BoardSimSessionTest, RejectsBlocksThatARealBootProgramWould) {
    SimBoard sim({"--erase-time", "0"});
    ASSERT_TRUE(sim.ready());
    HostPort host;
    ASSERT_TRUE(ReachProgramming(sim, host));

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
        EXPECT_EQ(host.Exchange(step.frame, step.reply.size()), step.reply) << step.what;
    }
    EXPECT_EQ(host.Exchange({0x4F}, 5), WithSum({0x5F, 0x02, 0x4F, 0x80}));

    // A block whose address starts with 0xB0 begins like the end frame: it stays a block.
    Bytes lookalike = BlockFrame(0xB0000000, 7);
    ASSERT_EQ(lookalike[1], 0xB0);
    ASSERT_TRUE(host.Send(Bytes(lookalike.begin(), lookalike.begin() + 2)));
    // The frame arrives in two pieces, as from a host that pauses after its first bytes.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(host.Exchange(Bytes(lookalike.begin() + 2, lookalike.end()), 2), Bytes({0xD0, 0x2A}));
    EXPECT_EQ(sim.Count("end-of-programming"), 0);

    // The six-byte end frame with address 0xFFFFFFFF ends programming as well.
    EXPECT_EQ(host.Exchange(WithSum({0x50, 0xFF, 0xFF, 0xFF, 0xFF}), 1), kAck);
    ASSERT_TRUE(sim.WaitFor("dump", 1));
    const Bytes flash = sim.ReadDump();
    ASSERT_EQ(flash.size(), kFlashSize);
    EXPECT_EQ(flash[0x100], 0xFF) << "the block with the wrong SUM was not programmed";
    EXPECT_EQ(flash[0x7FF80], 5) << "the first write of the last unit stands";
}

TEST(BoardSimSessionTest, ChangesTo76800ForAHostSetToThatRateThroughTermios2) {
    SimBoard sim({});
    ASSERT_TRUE(sim.ready());
    HostPort host;
    ASSERT_TRUE(ReachDeviceSelection(sim, host));
    ASSERT_TRUE(ReachBitRateSelection(host));
    EXPECT_EQ(host.Exchange(kSelect76800, 1), kAck);
    ASSERT_TRUE(host.OpenAtExactRate(sim.link(), 76800));
    EXPECT_EQ(host.Exchange({0x06}, 1), kAck);
    EXPECT_EQ(host.Exchange({0x4F}, 5), WithSum({0x5F, 0x02, 0x1F, 0x00}));

    EXPECT_GE(sim.Count("settings", "\"bit_rate\":76800,"), 1);
    EXPECT_EQ(sim.Count("rx", "\"bytes\":\"4F\",\"bit_rate\":76800,\"understood\":true"), 1);
    // The SCI's divider makes 78125 bps, 1.7 % off the host's rate: the two still understand
    // each other.
    EXPECT_EQ(sim.Count("tx", "\"bit_rate\":78125"), 2);
    EXPECT_EQ(sim.Count("violation"), 0);
}

// A pseudo-terminal forces 8 data bits without parity, so only these settings can be seen.
TEST(BoardSimSessionTest, LogsTheHostsLineSettingsAndTreatsAnotherFrameAsGarbage) {
    SimBoard sim({});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(EnterBootMode(sim));
    HostPort host;
    ASSERT_TRUE(host.Open(sim.link(), B9600, CSTOPB | CRTSCTS, IXON));
    EXPECT_TRUE(host.Unanswered({0x00}));
    EXPECT_TRUE(sim.WaitFor("settings", 1,
                            "\"bit_rate\":9600,\"data_bits\":8,\"parity\":\"N\",\"stop_bits\":2,"
                            "\"rts_cts\":true,\"ixon\":true"));
    EXPECT_TRUE(sim.WaitFor("violation", 1, "not raw without flow control"));
    EXPECT_TRUE(sim.WaitFor("violation", 1, "garbage"));

    ASSERT_TRUE(host.Open(sim.link(), B9600));
    EXPECT_EQ(host.Exchange({0x00}, 1), Bytes{0x00});
}

}  // namespace
