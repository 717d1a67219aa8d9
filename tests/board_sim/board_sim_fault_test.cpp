// Faults injected into the simulated board by its options, as a host meets them.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>

#include "board_sim/host_session.h"

namespace {

const Bytes kAck{0x06};

TEST(BoardSimFaultTest, MatchingFaults) {
    {
        SimBoard sim({"--mute"});
        ASSERT_TRUE(sim.ready());
        ASSERT_TRUE(EnterBootMode(sim));
        HostPort host;
        ASSERT_TRUE(host.Open(sim.link(), B9600));
        EXPECT_TRUE(host.Unanswered({0x00}));
        EXPECT_TRUE(host.Unanswered({0x55}));
        EXPECT_TRUE(sim.WaitFor("tx-muted", 1));
    }
    {
        SimBoard sim({"--match-on", "3"});
        ASSERT_TRUE(sim.ready());
        ASSERT_TRUE(EnterBootMode(sim));
        HostPort host;
        ASSERT_TRUE(host.Open(sim.link(), B9600));
        EXPECT_TRUE(host.Unanswered({0x00}));
        EXPECT_TRUE(host.Unanswered({0x00}));
        EXPECT_EQ(host.Exchange({0x00}, 1), Bytes{0x00});
        // A new reset starts the count again.
        host.Close();
        ASSERT_TRUE(EnterBootMode(sim));
        ASSERT_TRUE(host.Open(sim.link(), B9600));
        EXPECT_TRUE(host.Unanswered({0x00}));
    }
    {
        SimBoard sim({"--never-match"});
        ASSERT_TRUE(sim.ready());
        ASSERT_TRUE(EnterBootMode(sim));
        HostPort host;
        ASSERT_TRUE(host.Open(sim.link(), B9600));
        EXPECT_TRUE(host.Unanswered({0x00, 0x00, 0x00, 0x00, 0x00}));
        EXPECT_TRUE(host.Unanswered({0x55}));
    }
}

TEST(BoardSimFaultTest, HandshakeAnsweredWithAnotherByteLeavesTheBoardWaiting) {
    SimBoard sim({"--handshake-reply", "0x11"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(EnterBootMode(sim));
    HostPort host;
    ASSERT_TRUE(host.Open(sim.link(), B9600));
    EXPECT_EQ(host.Exchange({0x00}, 1), Bytes{0x00});
    EXPECT_EQ(host.Exchange({0x55}, 1), Bytes{0x11});
    EXPECT_EQ(host.Exchange({0x20}, 1), Bytes{0xFF}) << "still waiting for the handshake";
}

TEST(BoardSimFaultTest, DeviceListFaults) {
    const struct {
        std::vector<std::string> options;
        Bytes reply;
    } cases[] = {
        {{"--devices", "empty"}, WithSum({0x30, 0x01, 0x00})},
        {{"--device", "01020304:AB"}, WithSum({0x30, 0x08, 0x01, 0x06, 1, 2, 3, 4, 'A', 'B'})},
        {{"--device", "01020304:AB", "--oversize-device-reply"},
         WithSum({0x30, 0x18, 0x01, 0x06, 1, 2, 3, 4, 'A', 'B'})},
    };
    for (const auto& c : cases) {
        SimBoard sim(c.options);
        ASSERT_TRUE(sim.ready());
        HostPort host;
        ASSERT_TRUE(ReachDeviceSelection(sim, host));
        EXPECT_EQ(host.Exchange({0x20}, c.reply.size() + 1, 300), c.reply) << c.options[0];
        // No listed name is the MCU: no code selects it.
        EXPECT_EQ(host.Exchange(kSelectOwnDevice, 2), Bytes({0x90, 0x21})) << c.options[0];
    }
    const struct {
        const char* preset;
        int entries;
        int matches;
    } presets[] = {{"no-match", 2, 0}, {"two-matches", 3, 2}};
    for (const auto& p : presets) {
        SimBoard sim({"--devices", p.preset});
        ASSERT_TRUE(sim.ready());
        HostPort host;
        ASSERT_TRUE(ReachDeviceSelection(sim, host));
        const Bytes reply = host.Exchange({0x20}, 256, 300);
        ASSERT_GE(reply.size(), 3u);
        EXPECT_EQ(reply[2], p.entries) << p.preset;
        const std::string text(reply.begin(), reply.end());
        int matches = 0;
        for (size_t at = text.find("H8SX 1520R(40MHz)"); at != text.npos;
             at = text.find("H8SX 1520R(40MHz)", at + 1)) {
            ++matches;
        }
        EXPECT_EQ(matches, p.matches) << p.preset;
    }
}

TEST(BoardSimFaultTest, ShortProgrammingUnitReply) {
    SimBoard sim({"--short-mode-reply"});
    ASSERT_TRUE(sim.ready());
    HostPort host;
    ASSERT_TRUE(ReachDeviceSelection(sim, host));
    EXPECT_EQ(host.Exchange({0x27}, 5, 300), Bytes({0x37, 0x02, 0x00, 0x80}));
}

TEST(BoardSimFaultTest, RejectsTheChosenSelectionOrStateCommand) {
    for (uint8_t command : {0x10, 0x11, 0x3F, 0x40, 0x43}) {
        char option[8];
        std::snprintf(option, sizeof option, "0x%02X", command);
        SimBoard sim({"--reject-command", option, "--erase-time", "0"});
        ASSERT_TRUE(sim.ready());
        HostPort host;
        ASSERT_TRUE(ReachDeviceSelection(sim, host));
        const Bytes expected{static_cast<uint8_t>(command | 0x80)};
        const struct {
            uint8_t command;
            Bytes frame;
        } steps[] = {{0x10, kSelectOwnDevice}, {0x11, kSetClockMode0}, {0x3F, kSelect38400},
                     {0x06, {0x06}},           {0x40, {0x40}},         {0x43, {0x43}}};
        for (const auto& step : steps) {
            if (step.command == 0x06) {
                ASSERT_TRUE(host.Open(sim.link(), B38400));
            }
            const Bytes reply = host.Exchange(step.frame, 1);
            if (step.command == command) {
                EXPECT_EQ(reply, expected) << option;
                break;
            }
            ASSERT_EQ(reply, kAck) << option << " before " << int(step.command);
        }
    }
}

TEST(BoardSimFaultTest, NoConfirmationAtTheNewRate) {
    SimBoard sim({"--no-confirm"});
    ASSERT_TRUE(sim.ready());
    HostPort host;
    ASSERT_TRUE(ReachDeviceSelection(sim, host));
    ASSERT_TRUE(ReachBitRateSelection(host));
    EXPECT_EQ(host.Exchange(kSelect38400, 1), kAck);
    ASSERT_TRUE(host.Open(sim.link(), B38400));
    EXPECT_TRUE(host.Unanswered({0x06}, 300));
}

TEST(BoardSimFaultTest, RefusesTheGivenRateAlthoughTheClockCouldMakeIt) {
    SimBoard sim({"--refuse-bps", "76800"});
    ASSERT_TRUE(sim.ready());
    HostPort host;
    ASSERT_TRUE(ReachDeviceSelection(sim, host));
    ASSERT_TRUE(ReachBitRateSelection(host));
    EXPECT_EQ(host.Exchange(kSelect76800, 2), Bytes({0xBF, 0x24}));
    EXPECT_EQ(host.Exchange(kSelect38400, 1), kAck) << "only the given rate is refused";
}

TEST(BoardSimFaultTest, ReplyLatencyHoldsEachReply) {
    SimBoard sim({"--reply-latency", "20"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(EnterBootMode(sim));
    HostPort host;
    ASSERT_TRUE(host.Open(sim.link(), B9600));
    const struct {
        Bytes sent;
        Bytes reply;
    } exchanges[] = {{{0x00}, {0x00}}, {{0x55}, {0xE6}}};
    for (const auto& exchange : exchanges) {
        const auto sent = std::chrono::steady_clock::now();
        EXPECT_EQ(host.Exchange(exchange.sent, 1), exchange.reply);
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - sent);
        EXPECT_GE(waited.count(), 20) << "ms until the reply to " << int{exchange.sent[0]};
    }
}

TEST(BoardSimFaultTest, SlowEraseAndStatusError) {
    SimBoard sim({"--erase-time", "0.4", "--status-error", "0x11"});
    ASSERT_TRUE(sim.ready());
    HostPort host;
    ASSERT_TRUE(ReachDeviceSelection(sim, host));
    ASSERT_TRUE(ReachBitRateSelection(host));
    ASSERT_TRUE(ChangeTo38400(sim, host));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(host.Unanswered({0x40}, 300));
    EXPECT_TRUE(host.Unanswered({0x4F}, 1)) << "busy erasing";
    EXPECT_EQ(host.Receive(1, 1000), kAck);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(390));
    EXPECT_LT(took, std::chrono::milliseconds(900));
    EXPECT_EQ(host.Exchange({0x4F}, 5), WithSum({0x5F, 0x02, 0x3F, 0x11}));
}

TEST(BoardSimFaultTest, BlockFaultsHitOnlyTheKthBlock) {
    const struct {
        std::vector<std::string> options;
        Bytes reply;
    } cases[] = {
        {{"--block-nak", "2:0x15"}, {0x15}},
        {{"--block-error", "2:0x53"}, {0xD0, 0x53}},
        {{"--block-silent", "2"}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> options = c.options;
        options.insert(options.end(), {"--erase-time", "0"});
        SimBoard sim(options);
        ASSERT_TRUE(sim.ready());
        HostPort host;
        ASSERT_TRUE(ReachProgramming(sim, host));
        EXPECT_EQ(host.Exchange(BlockFrame(0x000, 1), 1), kAck) << c.options[0];
        EXPECT_EQ(host.Exchange(BlockFrame(0x080, 2), 2, 200), c.reply) << c.options[0];
        EXPECT_EQ(host.Exchange(BlockFrame(0x100, 3), 1), kAck) << c.options[0];
        EXPECT_EQ(host.Exchange({0x50, 0xB0}, 1), kAck) << c.options[0];
        ASSERT_TRUE(sim.WaitFor("dump", 1));
        EXPECT_EQ(sim.ReadDump()[0x080], 0xFF) << "the faulty block was not programmed";
    }
}

TEST(BoardSimFaultTest, EndFrameNotAcknowledgedLeavesTheSessionUnfinished) {
    SimBoard sim({"--end-nak", "0x15", "--erase-time", "0"});
    ASSERT_TRUE(sim.ready());
    HostPort host;
    ASSERT_TRUE(ReachProgramming(sim, host));
    EXPECT_EQ(host.Exchange(BlockFrame(0, 9), 1), kAck);
    EXPECT_EQ(host.Exchange({0x50, 0xB0}, 1), Bytes{0x15});
    host.Close();
    ASSERT_TRUE(sim.WaitFor("dump", 1, "end of programming"));
    EXPECT_EQ(sim.ReadDump()[0], 9);
    const int resets = sim.Count("reset");
    ASSERT_TRUE(PulsePort(sim.link()));
    EXPECT_TRUE(sim.WaitFor("reset", resets + 1));
    EXPECT_EQ(sim.Count("reboot"), 0);
}

TEST(BoardSimFaultTest, DeviceVanishesAfterTheKthBlock) {
    SimBoard sim({"--vanish-after-block", "2", "--erase-time", "0"});
    ASSERT_TRUE(sim.ready());
    HostPort host;
    ASSERT_TRUE(ReachProgramming(sim, host));
    EXPECT_EQ(host.Exchange(BlockFrame(0x000, 1), 1), kAck);
    EXPECT_EQ(host.Exchange(BlockFrame(0x080, 2), 1), kAck);
    EXPECT_TRUE(host.Receive(1, 500).empty());
    EXPECT_TRUE(host.failed()) << "reads fail once the adapter is gone";
    struct stat info;
    EXPECT_NE(lstat(sim.link().c_str(), &info), 0);
    HostPort again;
    EXPECT_FALSE(again.Open(sim.link(), B19200));
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    EXPECT_EQ(sim.ReadDump()[0x080], 2);
}

TEST(BoardSimFaultTest, DeviceVanishesAfterTheNthMatchingByteCountedAcrossResets) {
    SimBoard sim({"--match-on", "2", "--vanish-after-matching", "3"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(EnterBootMode(sim));
    HostPort host;
    ASSERT_TRUE(host.Open(sim.link(), B9600));
    EXPECT_TRUE(host.Unanswered({0x00}));
    EXPECT_EQ(host.Exchange({0x00}, 1), Bytes{0x00});
    host.Close();
    ASSERT_TRUE(EnterBootMode(sim));
    ASSERT_TRUE(host.Open(sim.link(), B9600));
    EXPECT_TRUE(host.Unanswered({0x00}, 500));
    EXPECT_TRUE(host.failed()) << "reads fail once the adapter is gone";
    EXPECT_TRUE(sim.WaitFor("vanish", 1, "matching byte"));
    struct stat info;
    EXPECT_NE(lstat(sim.link().c_str(), &info), 0);
}

TEST(BoardSimFaultTest, RebootPortUnavailable) {
    {
        SimBoard sim({"--reboot-link-removed", "--erase-time", "0"});
        ASSERT_TRUE(sim.ready());
        HostPort host;
        ASSERT_TRUE(ReachProgramming(sim, host));
        EXPECT_EQ(host.Exchange({0x50, 0xB0}, 1), kAck);
        host.Close();
        ASSERT_TRUE(sim.WaitFor("link", 1, "removed"));
        EXPECT_FALSE(PulsePort(sim.link()));
    }
    {
        SimBoard sim({"--reboot-unopenable", "2", "--erase-time", "0"});
        ASSERT_TRUE(sim.ready());
        HostPort host;
        ASSERT_TRUE(ReachProgramming(sim, host));
        EXPECT_EQ(host.Exchange({0x50, 0xB0}, 1), kAck);
        host.Close();
        ASSERT_TRUE(sim.WaitFor("link", 1, "unopenable"));
        EXPECT_FALSE(PulsePort(sim.link()));
        ASSERT_TRUE(sim.WaitFor("unopenable-attempt", 1));
        EXPECT_FALSE(PulsePort(sim.link()));
        ASSERT_TRUE(sim.WaitFor("link", 1, "device"));
        EXPECT_TRUE(PulsePort(sim.link()));
        EXPECT_TRUE(sim.WaitFor("reboot", 1));
    }
}

}  // namespace
