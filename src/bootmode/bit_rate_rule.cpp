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

// Below the rates `--bps max` tries: rates that every host port runs at.
constexpr int kCommonSlowRates[] = {28800, 19200, 14400, kMatchingBitRate};

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

int FastestSciBitRate() {
    return static_cast<int>(kPeripheralClockHz / ClockSelectFactor(0));
}

bool IsProgrammingBitRate(int bitRate) {
    return bitRate >= kMatchingBitRate && bitRate <= FastestSciBitRate() &&
           bitRate % kBitRateUnit == 0 && FitBitRate(bitRate).accepted;
}

NearbyBitRates NearestAcceptedRates(int bitRate) {
    NearbyBitRates nearby;
    const int fastest = FastestSciBitRate();
    // The steps of 100 on either side of the rate, as far as the SCI makes rates at all.
    const int step = bitRate / kBitRateUnit * kBitRateUnit;
    const int first = bitRate % kBitRateUnit == 0 ? step - kBitRateUnit : step;
    for (int rate = first < fastest ? first : fastest; rate >= kMatchingBitRate;
         rate -= kBitRateUnit) {
        if (IsProgrammingBitRate(rate)) {
            nearby.below = rate;
            break;
        }
    }
    for (int rate = step + kBitRateUnit; rate <= fastest; rate += kBitRateUnit) {
        if (IsProgrammingBitRate(rate)) {
            nearby.above = rate;
            break;
        }
    }
    return nearby;
}

int LowerRateToTry(int bitRate) {
    for (const int rate : kFastestBitRates) {
        if (rate < bitRate && IsProgrammingBitRate(rate)) {
            return rate;
        }
    }
    for (const int rate : kCommonSlowRates) {
        if (rate < bitRate && IsProgrammingBitRate(rate)) {
            return rate;
        }
    }
    return 0;
}

std::vector<uint8_t> BitRateParameters(int bitRate) {
    std::vector<uint8_t> block(kBitRateParameterBlock, 0);
    std::memcpy(block.data(), kProgrammingBitRateParameters, sizeof kProgrammingBitRateParameters);
    const int units = bitRate / kBitRateUnit;
    block[0] = static_cast<uint8_t>(units >> 8);
    block[1] = static_cast<uint8_t>(units);
    return block;
}
