// The host's side of a session with the simulated board: frames and the shared steps.
#include "board_sim/host_session.h"

#include <gtest/gtest.h>

const Bytes kOwnDeviceCode{0x15, 0x20, 0x00, 0x40};
const Bytes kSelectOwnDevice = WithSum({0x10, 0x04, 0x15, 0x20, 0x00, 0x40});
const Bytes kSetClockMode0{0x11, 0x01, 0x00, 0xEE};
const Bytes kSelect38400{0x3F, 0x07, 0x01, 0x80, 0x01, 0xF4, 0x02, 0x08, 0x04, 0x36};
const Bytes kSelect76800 = WithSum({0x3F, 0x07, 0x03, 0x00, 0x01, 0xF4, 0x02, 0x08, 0x04});

namespace {

const Bytes kAck{0x06};

}  // namespace

Bytes WithSum(Bytes frame) {
    uint8_t sum = 0;
    for (uint8_t byte : frame) {
        sum = static_cast<uint8_t>(sum + byte);
    }
    frame.push_back(static_cast<uint8_t>(0x100 - sum));
    return frame;
}

Bytes BlockFrame(uint32_t address, uint8_t seed) {
    Bytes frame{0x50, static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    for (int i = 0; i < 128; ++i) {
        frame.push_back(static_cast<uint8_t>(seed + i));
    }
    return WithSum(frame);
}

bool EnterBootMode(BoardLine& sim) {
    const int resets = sim.Count("reset");
    if (!sim.Pulse() || !sim.Pulse() || !sim.WaitFor("reset", resets + 2)) {
        ADD_FAILURE() << "two openings at 19200 bps did not reset the board twice";
        return false;
    }
    return true;
}

bool ReachDeviceSelection(BoardLine& sim) {
    if (!EnterBootMode(sim) || !sim.Open(9600)) {
        ADD_FAILURE() << "cannot open the port at 9600 bps";
        return false;
    }
    const Bytes matched = sim.Exchange({0x00}, 1);
    const Bytes handshake = sim.Exchange({0x55}, 1);
    EXPECT_EQ(matched, Bytes{0x00});
    EXPECT_EQ(handshake, Bytes{0xE6});
    return matched == Bytes{0x00} && handshake == Bytes{0xE6};
}

bool ReachBitRateSelection(BoardLine& sim) {
    const Bytes device = sim.Exchange(kSelectOwnDevice, 1);
    const Bytes clock = sim.Exchange(kSetClockMode0, 1);
    EXPECT_EQ(device, kAck);
    EXPECT_EQ(clock, kAck);
    return device == kAck && clock == kAck;
}

bool ChangeTo38400(BoardLine& sim) {
    const Bytes selected = sim.Exchange(kSelect38400, 1);
    EXPECT_EQ(selected, kAck);
    if (selected != kAck || !sim.Open(38400)) {
        return false;
    }
    const Bytes confirmed = sim.Exchange({0x06}, 1);
    EXPECT_EQ(confirmed, kAck);
    return confirmed == kAck;
}

bool ReachErased(BoardLine& sim) {
    if (!ReachDeviceSelection(sim) || !ReachBitRateSelection(sim) || !ChangeTo38400(sim)) {
        return false;
    }
    const Bytes erased = sim.Exchange({0x40}, 1);
    EXPECT_EQ(erased, kAck);
    return erased == kAck;
}

bool ReachProgramming(BoardLine& sim) {
    if (!ReachErased(sim)) {
        return false;
    }
    const Bytes matSelected = sim.Exchange({0x43}, 1);
    EXPECT_EQ(matSelected, kAck);
    return matSelected == kAck;
}
