// The host's side of a session with the simulated board, played over plain termios: frames and
// the steps that every scenario shares.
#pragma once

#include <cstdint>

#include "support/bytes.h"
#include "support/host_port.h"
#include "support/sim_board.h"

// Appends the SUM that makes the frame's bytes add up to 0.
Bytes WithSum(Bytes frame);
// A 128-byte programming frame for `address` whose data bytes are `seed` + offset.
Bytes BlockFrame(uint32_t address, uint8_t seed);

// Steps of a session that every scenario shares. Each returns false, with a test failure added,
// when the board does not answer as it should.
bool EnterBootMode(SimBoard& sim);
bool ReachDeviceSelection(SimBoard& sim, HostPort& host);
bool ReachBitRateSelection(HostPort& host);
bool ChangeTo38400(SimBoard& sim, HostPort& host);
// Up to the erase, after which the boot program waits for a programming/erasing command.
bool ReachErased(SimBoard& sim, HostPort& host);
bool ReachProgramming(SimBoard& sim, HostPort& host);

extern const Bytes kOwnDeviceCode;
extern const Bytes kSelectOwnDevice;
extern const Bytes kSetClockMode0;
extern const Bytes kSelect38400;
// 76800 bps, which needs a host port set to a rate without a Bnnn constant.
extern const Bytes kSelect76800;
