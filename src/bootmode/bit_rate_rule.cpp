// The boot program's rule for a new bit rate: N = phi / (64 x 2^(2n-1) x B) - 1 for clock select
// n = 0..3 and N = 0..255, and an error below 4 %.
#include "bootmode/bit_rate_rule.h"

#include <cmath>
#include <cstring>

namespace {

constexpr int kClockSelects = 4;
constexpr long kLargestDivider = 255;

// 64 x 2^(2n-1): 32, 128, 512, 2048.
double ClockSelectFactor(int n) {
    return 32.0 * std::pow(4.0, n);
}

constexpr int kWellKnownRates[] = {1200,   2400,   4800,   9600,   14400,  19200,  28800,
                                   31250,  38400,  57600,  62500,  76800,  115200, 125000,
                                   156250, 230400, 250000, 312500, 460800, 625000};

}  // namespace

BitRateFit FitBitRate(int bitRate) {
    BitRateFit fit;
    if (bitRate <= 0) {
        return fit;
    }
    // The smallest clock select whose divider fits gives the finest steps.
    for (int n = 0; n < kClockSelects; ++n) {
        const double factor = ClockSelectFactor(n);
        const long divider = std::lround(kPeripheralClockHz / (factor * bitRate)) - 1;
        if (divider > kLargestDivider) {
            continue;
        }
        if (divider < 0) {
            return fit;
        }
        fit.producedRate = kPeripheralClockHz / ((divider + 1) * factor);
        fit.errorPercent = (fit.producedRate / bitRate - 1) * 100;
        fit.accepted = std::fabs(fit.errorPercent) < kLargestBitRateError;
        return fit;
    }
    return fit;
}

NearbyBitRates NearestAcceptedRates(int bitRate) {
    NearbyBitRates nearby;
    for (const int rate : kWellKnownRates) {
        if (!FitBitRate(rate).accepted) {
            continue;
        }
        if (rate < bitRate) {
            nearby.below = rate;
        } else if (rate > bitRate && nearby.above == 0) {
            nearby.above = rate;
        }
    }
    return nearby;
}

std::vector<uint8_t> BitRateParameters(int bitRate) {
    std::vector<uint8_t> block(kBitRateParameterBlock, 0);
    std::memcpy(block.data(), kProgrammingBitRateParameters, sizeof kProgrammingBitRateParameters);
    const int units = bitRate / kBitRateUnit;
    block[0] = static_cast<uint8_t>(units >> 8);
    block[1] = static_cast<uint8_t>(units);
    return block;
}
