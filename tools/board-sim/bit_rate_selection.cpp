// Checks of the new-bit-rate selection, as the boot program makes them.
#include "bit_rate_selection.h"

#include <cmath>
#include <initializer_list>

namespace board_sim {

namespace {

// The board's crystal: 5.00 MHz in units of 0.01 MHz (× 8 gives the 40 MHz system clock).
constexpr int kBoardInputClock = 500;
// Input clocks the boot program accepts, in units of 0.01 MHz.
constexpr int kLowestInputClock = 400;
constexpr int kHighestInputClock = 1250;
// System and peripheral clock limits of the 40 MHz part, in MHz.
constexpr double kLowestOperatingMHz = 8.0;
constexpr double kHighestOperatingMHz = 40.0;
// Two ratios follow: system clock, then peripheral clock (which drives the SCI).
constexpr size_t kRatioCount = 2;
// The boot program refuses a rate whose error reaches 4 %.
constexpr double kRefusedRateError = 0.04;
// Clock select n of the SCI: the peripheral clock divided by 1, 4, 16 or 64.
constexpr int kClockSelects = 4;
constexpr long kLargestDivider = 255;

constexpr uint8_t kBitRateError = 0x24;
constexpr uint8_t kInputFrequencyError = 0x25;
constexpr uint8_t kRatioError = 0x26;
constexpr uint8_t kOperatingFrequencyError = 0x27;

bool IsSupportedRatio(uint8_t ratio) {
    return ratio == 1 || ratio == 2 || ratio == 4 || ratio == 8;
}

}  // namespace

BitRateSelection SelectBitRate(const uint8_t* data, size_t size) {
    if (size < 5 || data[4] != kRatioCount || size != 5 + kRatioCount) {
        return {kRatioError, 0};
    }
    const int rate = (data[0] << 8 | data[1]) * 100;
    const int inputClock = data[2] << 8 | data[3];
    const uint8_t systemRatio = data[5];
    const uint8_t peripheralRatio = data[6];
    if (inputClock < kLowestInputClock || inputClock > kHighestInputClock) {
        return {kInputFrequencyError, 0};
    }
    if (!IsSupportedRatio(systemRatio) || !IsSupportedRatio(peripheralRatio)) {
        return {kRatioError, 0};
    }
    const double systemMHz = inputClock / 100.0 * systemRatio;
    const double peripheralMHz = inputClock / 100.0 * peripheralRatio;
    for (double mhz : {systemMHz, peripheralMHz}) {
        if (mhz < kLowestOperatingMHz || mhz > kHighestOperatingMHz) {
            return {kOperatingFrequencyError, 0};
        }
    }
    if (rate == 0) {
        return {kBitRateError, 0};
    }
    // SCI asynchronous mode: B = φ / (64 × 2^(2n−1) × (N + 1)); the boot program takes the
    // smallest clock select n whose divider N, rounded, fits its 8 bits.
    const double peripheralHz = peripheralMHz * 1e6;
    for (int n = 0; n < kClockSelects; ++n) {
        const double scale = 32.0 * (1 << (2 * n));  // 64 × 2^(2n−1)
        const long divider = std::lround(peripheralHz / (scale * rate)) - 1;
        if (divider > kLargestDivider) {
            continue;
        }
        const double producedRate = peripheralHz / (scale * (divider + 1));
        if (divider < 0 || std::fabs(producedRate / rate - 1) >= kRefusedRateError) {
            return {kBitRateError, 0};
        }
        // The MCU believes the host's input clock; its SCI runs on the board's real crystal.
        return {0, producedRate * kBoardInputClock / inputClock};
    }
    return {kBitRateError, 0};
}

}  // namespace board_sim
