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

bool EnterBootMode(SimBoard& sim) {
    const int resets = sim.Count("reset");
    if (!PulsePort(sim.link()) || !PulsePort(sim.link()) || !sim.WaitFor("reset", resets + 2)) {
        ADD_FAILURE() << "two openings at 19200 bps did not reset the board twice";
        return false;
    }
    return true;
}

bool ReachDeviceSelection(SimBoard& sim, HostPort& host) {
    if (!EnterBootMode(sim) || !host.Open(sim.link(), B9600)) {
        ADD_FAILURE() << "cannot open the port at 9600 bps";
        return false;
    }
    const Bytes matched = host.Exchange({0x00}, 1);
    const Bytes handshake = host.Exchange({0x55}, 1);
    EXPECT_EQ(matched, Bytes{0x00});
    EXPECT_EQ(handshake, Bytes{0xE6});
    return matched == Bytes{0x00} && handshake == Bytes{0xE6};
}

bool ReachBitRateSelection(HostPort& host) {
    const Bytes device = host.Exchange(kSelectOwnDevice, 1);
    const Bytes clock = host.Exchange(kSetClockMode0, 1);
    EXPECT_EQ(device, kAck);
    EXPECT_EQ(clock, kAck);
    return device == kAck && clock == kAck;
}

bool ChangeTo38400(SimBoard& sim, HostPort& host) {
    const Bytes selected = host.Exchange(kSelect38400, 1);
    EXPECT_EQ(selected, kAck);
    if (selected != kAck || !host.Open(sim.link(), B38400)) {
        return false;
    }
    const Bytes confirmed = host.Exchange({0x06}, 1);
    EXPECT_EQ(confirmed, kAck);
    return confirmed == kAck;
}

bool ReachErased(SimBoard& sim, HostPort& host) {
    if (!ReachDeviceSelection(sim, host) || !ReachBitRateSelection(host) ||
        !ChangeTo38400(sim, host)) {
        return false;
    }
    const Bytes erased = host.Exchange({0x40}, 1);
    EXPECT_EQ(erased, kAck);
    return erased == kAck;
}

bool ReachProgramming(SimBoard& sim, HostPort& host) {
    if (!ReachErased(sim, host)) {
        return false;
    }
    const Bytes matSelected = host.Exchange({0x43}, 1);
    EXPECT_EQ(matSelected, kAck);
    return matSelected == kAck;
}
