// Faults injected into the simulated board by its options, as a host meets them, in process.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "board_sim/host_session.h"

namespace {

const Bytes kAck{0x06};

TEST(BoardSimFaultTest, MatchingFaults) {
    {
        InProcessLine sim({"--mute"});
        ASSERT_TRUE(sim.ready());
        ASSERT_TRUE(EnterBootMode(sim));
        ASSERT_TRUE(sim.Open(9600));
        EXPECT_TRUE(sim.Unanswered({0x00}));
        EXPECT_TRUE(sim.Unanswered({0x55}));
        EXPECT_TRUE(sim.WaitFor("tx-muted", 1));
    }
    {
        InProcessLine sim({"--match-on", "3"});
        ASSERT_TRUE(sim.ready());
        ASSERT_TRUE(EnterBootMode(sim));
        ASSERT_TRUE(sim.Open(9600));
        EXPECT_TRUE(sim.Unanswered({0x00}));
        EXPECT_TRUE(sim.Unanswered({0x00}));
        EXPECT_EQ(sim.Exchange({0x00}, 1), Bytes{0x00});
        // A new reset starts the count again.
        sim.Close();
        ASSERT_TRUE(EnterBootMode(sim));
        ASSERT_TRUE(sim.Open(9600));
        EXPECT_TRUE(sim.Unanswered({0x00}));
    }
    {
        InProcessLine sim({"--never-match"});
        ASSERT_TRUE(sim.ready());
        ASSERT_TRUE(EnterBootMode(sim));
        ASSERT_TRUE(sim.Open(9600));
        EXPECT_TRUE(sim.Unanswered({0x00, 0x00, 0x00, 0x00, 0x00}));
        EXPECT_TRUE(sim.Unanswered({0x55}));
    }
}

TEST(BoardSimFaultTest, HandshakeAnsweredWithAnotherByteLeavesTheBoardWaiting) {
    InProcessLine sim({"--handshake-reply", "0x11"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(EnterBootMode(sim));
    ASSERT_TRUE(sim.Open(9600));
    EXPECT_EQ(sim.Exchange({0x00}, 1), Bytes{0x00});
    EXPECT_EQ(sim.Exchange({0x55}, 1), Bytes{0x11});
    EXPECT_EQ(sim.Exchange({0x20}, 1), Bytes{0xFF}) << "still waiting for the handshake";
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
        InProcessLine sim(c.options);
        ASSERT_TRUE(sim.ready());
        ASSERT_TRUE(ReachDeviceSelection(sim));
        EXPECT_EQ(sim.Exchange({0x20}, c.reply.size() + 1, 300), c.reply) << c.options[0];
        // No listed name is the MCU: no code selects it.
        EXPECT_EQ(sim.Exchange(kSelectOwnDevice, 2), Bytes({0x90, 0x21})) << c.options[0];
    }
    const struct {
        const char* preset;
        int entries;
        int matches;
    } presets[] = {{"no-match", 2, 0}, {"two-matches", 3, 2}};
    for (const auto& p : presets) {
        InProcessLine sim({"--devices", p.preset});
        ASSERT_TRUE(sim.ready());
        ASSERT_TRUE(ReachDeviceSelection(sim));
        const Bytes reply = sim.Exchange({0x20}, 256, 300);
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
    InProcessLine sim({"--short-mode-reply"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachDeviceSelection(sim));
    EXPECT_EQ(sim.Exchange({0x27}, 5, 300), Bytes({0x37, 0x02, 0x00, 0x80}));
}

TEST(BoardSimFaultTest, RejectsTheChosenSelectionOrStateCommand) {
    for (uint8_t command : {0x10, 0x11, 0x3F, 0x40, 0x43}) {
        char option[8];
        std::snprintf(option, sizeof option, "0x%02X", command);
        InProcessLine sim({"--reject-command", option, "--erase-time", "0"});
        ASSERT_TRUE(sim.ready());
        ASSERT_TRUE(ReachDeviceSelection(sim));
        const Bytes expected{static_cast<uint8_t>(command | 0x80)};
        const struct {
            uint8_t command;
            Bytes frame;
        } steps[] = {{0x10, kSelectOwnDevice}, {0x11, kSetClockMode0}, {0x3F, kSelect38400},
                     {0x06, {0x06}},           {0x40, {0x40}},         {0x43, {0x43}}};
        for (const auto& step : steps) {
            if (step.command == 0x06) {
                ASSERT_TRUE(sim.Open(38400));
            }
            const Bytes reply = sim.Exchange(step.frame, 1);
            if (step.command == command) {
                EXPECT_EQ(reply, expected) << option;
                break;
            }
            ASSERT_EQ(reply, kAck) << option << " before " << int(step.command);
        }
    }
}

TEST(BoardSimFaultTest, RejectsTheChosenCommandOnlyTheFirstTimeSinceItStarted) {
    InProcessLine sim({"--reject-once", "0x3F"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachDeviceSelection(sim));
    ASSERT_TRUE(ReachBitRateSelection(sim));
    EXPECT_EQ(sim.Exchange(kSelect38400, 2), Bytes({0xBF, 0x24}));
    // A reset does not start the count again.
    sim.Close();
    ASSERT_TRUE(ReachDeviceSelection(sim));
    ASSERT_TRUE(ReachBitRateSelection(sim));
    EXPECT_EQ(sim.Exchange(kSelect38400, 1), kAck);
}

TEST(BoardSimFaultTest, NoConfirmationAtTheNewRate) {
    InProcessLine sim({"--no-confirm"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachDeviceSelection(sim));
    ASSERT_TRUE(ReachBitRateSelection(sim));
    EXPECT_EQ(sim.Exchange(kSelect38400, 1), kAck);
    ASSERT_TRUE(sim.Open(38400));
    EXPECT_TRUE(sim.Unanswered({0x06}, 300));
}

TEST(BoardSimFaultTest, RefusesTheGivenRateAlthoughTheClockCouldMakeIt) {
    InProcessLine sim({"--refuse-bps", "76800"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachDeviceSelection(sim));
    ASSERT_TRUE(ReachBitRateSelection(sim));
    EXPECT_EQ(sim.Exchange(kSelect76800, 2), Bytes({0xBF, 0x24}));
    EXPECT_EQ(sim.Exchange(kSelect38400, 1), kAck) << "only the given rate is refused";
}

TEST(BoardSimFaultTest, ReplyLatencyHoldsEachReply) {
    InProcessLine sim({"--reply-latency", "20"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(EnterBootMode(sim));
    ASSERT_TRUE(sim.Open(9600));
    const struct {
        Bytes sent;
        Bytes reply;
    } exchanges[] = {{{0x00}, {0x00}}, {{0x55}, {0xE6}}};
    for (const auto& exchange : exchanges) {
        const std::chrono::nanoseconds sent = sim.board().Now();
        EXPECT_EQ(sim.Exchange(exchange.sent, 1), exchange.reply);
        // A byte each way at 9600 bps takes 1.04 ms on the wire.
        EXPECT_GE(sim.board().Now() - sent, std::chrono::microseconds(22083))
            << "until the reply to " << int{exchange.sent[0]};
    }
}

TEST(BoardSimFaultTest, SlowEraseAndStatusError) {
    InProcessLine sim({"--erase-time", "0.4", "--status-error", "0x11"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachDeviceSelection(sim));
    ASSERT_TRUE(ReachBitRateSelection(sim));
    ASSERT_TRUE(ChangeTo38400(sim));
    const std::chrono::nanoseconds start = sim.board().Now();
    EXPECT_TRUE(sim.Unanswered({0x40}, 300));
    EXPECT_TRUE(sim.Unanswered({0x4F}, 1)) << "busy erasing";
    EXPECT_EQ(sim.Receive(1, 1000), kAck);
    const std::chrono::nanoseconds took = sim.board().Now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(400));
    EXPECT_LT(took, std::chrono::milliseconds(401));
    EXPECT_EQ(sim.Exchange({0x4F}, 5), WithSum({0x5F, 0x02, 0x3F, 0x11}));
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
        InProcessLine sim(options);
        ASSERT_TRUE(sim.ready());
        ASSERT_TRUE(ReachProgramming(sim));
        EXPECT_EQ(sim.Exchange(BlockFrame(0x000, 1), 1), kAck) << c.options[0];
        EXPECT_EQ(sim.Exchange(BlockFrame(0x080, 2), 2, 200), c.reply) << c.options[0];
        EXPECT_EQ(sim.Exchange(BlockFrame(0x100, 3), 1), kAck) << c.options[0];
        EXPECT_EQ(sim.Exchange({0x50, 0xB0}, 1), kAck) << c.options[0];
        ASSERT_TRUE(sim.WaitFor("dump", 1));
        EXPECT_EQ(sim.board().Flash()[0x080], 0xFF) << "the faulty block was not programmed";
    }
}

TEST(BoardSimFaultTest, DocumentedEndOnlyTakesTheDesignsEndFrameForTheStartOfABlock) {
    for (const bool documented : {false, true}) {
        InProcessLine sim({"--documented-end-only", "--erase-time", "0"});
        ASSERT_TRUE(sim.ready());
        ASSERT_TRUE(ReachProgramming(sim));
        EXPECT_EQ(sim.Exchange(BlockFrame(0, 9), 1), kAck);
        if (documented) {
            EXPECT_EQ(sim.Exchange(WithSum({0x50, 0xFF, 0xFF, 0xFF, 0xFF}), 1), kAck);
            EXPECT_EQ(sim.Count("end-of-programming"), 1);
        } else {
            EXPECT_TRUE(sim.Unanswered({0x50, 0xB0}, 300));
            EXPECT_EQ(sim.Count("end-of-programming"), 0);
        }
    }
}

TEST(BoardSimFaultTest, EndFrameNotAcknowledgedLeavesTheSessionUnfinished) {
    InProcessLine sim({"--end-nak", "0x15", "--erase-time", "0"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachProgramming(sim));
    EXPECT_EQ(sim.Exchange(BlockFrame(0, 9), 1), kAck);
    EXPECT_EQ(sim.Exchange({0x50, 0xB0}, 1), Bytes{0x15});
    sim.Close();
    ASSERT_TRUE(sim.WaitFor("dump", 1, "end of programming"));
    EXPECT_EQ(sim.board().Flash()[0], 9);
    const int resets = sim.Count("reset");
    ASSERT_TRUE(sim.Pulse());
    EXPECT_TRUE(sim.WaitFor("reset", resets + 1));
    EXPECT_EQ(sim.Count("reboot"), 0);
}

TEST(BoardSimFaultTest, DeviceVanishesAfterTheNthMatchingByteCountedAcrossResets) {
    InProcessLine sim({"--match-on", "2", "--vanish-after-matching", "3"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(EnterBootMode(sim));
    ASSERT_TRUE(sim.Open(9600));
    EXPECT_TRUE(sim.Unanswered({0x00}));
    EXPECT_EQ(sim.Exchange({0x00}, 1), Bytes{0x00});
    sim.Close();
    ASSERT_TRUE(EnterBootMode(sim));
    ASSERT_TRUE(sim.Open(9600));
    EXPECT_TRUE(sim.Unanswered({0x00}, 500));
    EXPECT_TRUE(sim.failed()) << "reads fail once the adapter is gone";
    EXPECT_TRUE(sim.WaitFor("vanish", 1, "matching byte"));
    EXPECT_FALSE(sim.Pulse()) << "the device is gone";
}

}  // namespace
