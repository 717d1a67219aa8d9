// Judges a new-bit-rate request against the board's clocks and finds the rate the MCU's SCI runs
// at.
#pragma once

#include <cstddef>
#include <cstdint>

namespace board_sim {

struct BitRateSelection {
    uint8_t error;    // 0 when accepted, else the boot program's error code
    double lineRate;  // bits per second the SCI really produces on the board (when accepted)
};

// `data` holds the bytes between the size byte and SUM: rate in units of 100 bps, input clock in
// units of 0.01 MHz (both big-endian), the number of multiplication ratios and the ratios.
BitRateSelection SelectBitRate(const uint8_t* data, size_t size);

}  // namespace board_sim
