// The host's side of a session with the simulated board: frames and the steps that every scenario
// shares, over either line.
#pragma once

#include <cstdint>

#include "board_sim/board_line.h"
#include "support/bytes.h"

// Appends the SUM that makes the frame's bytes add up to 0.
Bytes WithSum(Bytes frame);
// A 128-byte programming frame for `address` whose data bytes are `seed` + offset.
Bytes BlockFrame(uint32_t address, uint8_t seed);

// Steps of a session that every scenario shares. Each returns false, with a test failure added,
// when the board does not answer as it should.
bool EnterBootMode(BoardLine& sim);
bool ReachDeviceSelection(BoardLine& sim);
bool ReachBitRateSelection(BoardLine& sim);
bool ChangeTo38400(BoardLine& sim);
// Up to the erase, after which the boot program waits for a programming/erasing command.
bool ReachErased(BoardLine& sim);
bool ReachProgramming(BoardLine& sim);

extern const Bytes kOwnDeviceCode;
extern const Bytes kSelectOwnDevice;
extern const Bytes kSetClockMode0;
extern const Bytes kSelect38400;
// 76800 bps, which needs a host port set to a rate without a Bnnn constant.
extern const Bytes kSelect76800;
