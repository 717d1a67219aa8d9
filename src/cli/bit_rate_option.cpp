// Reads --bps and refuses, with the board's own numbers, a rate its boot program would refuse.
#include "cli/bit_rate_option.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "bootmode/bit_rate_rule.h"
#include "bootmode/boot_protocol.h"
#include "image/formatted_text.h"

namespace {

// Below the matching rate a block's frame outlasts the fixed wait the design gives it.
constexpr int kSlowestBitRate = kMatchingBitRate;

std::string NearbyText(int bitRate) {
    const NearbyBitRates nearby = NearestAcceptedRates(bitRate);
    if (nearby.below > 0 && nearby.above > 0) {
        return FormatText("; the nearest rates that work are %d and %d", nearby.below,
                          nearby.above);
    }
    const int only = nearby.below > 0 ? nearby.below : nearby.above;
    return only > 0 ? FormatText("; the nearest rate that works is %d", only) : std::string();
}

BitRateChoice Refused(const std::string& text, const std::string& why) {
    BitRateChoice choice;
    choice.problem = "--bps " + text + ": " + why;
    return choice;
}

}  // namespace

BitRateChoice ChooseBitRates(const std::string& text) {
    BitRateChoice choice;
    if (text == "max") {
        for (const int rate : kFastestBitRates) {
            if (IsProgrammingBitRate(rate)) {
                choice.rates.push_back(rate);
            }
        }
        return choice;
    }
    char* end = nullptr;
    const long rate = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || text[0] == '-' || text[0] == '+' || rate > 100000000) {
        return Refused(text, "not a bit rate: give bps, such as 57600, or max");
    }
    const int bitRate = static_cast<int>(rate);
    if (IsProgrammingBitRate(bitRate)) {
        choice.rates.push_back(bitRate);
        return choice;
    }
    // Why the rule refuses it.
    if (bitRate < kSlowestBitRate) {
        return Refused(text, FormatText("below %d bps a block outlasts its %d ms wait",
                                        kSlowestBitRate, kBlockDelay));
    }
    if (bitRate % kBitRateUnit != 0) {
        return Refused(text, FormatText("the board takes rates in steps of %d bps", kBitRateUnit) +
                                 NearbyText(bitRate));
    }
    if (bitRate > FastestSciBitRate()) {
        return Refused(text, FormatText("faster than the board's serial interface can run (%d bps)",
                                        FastestSciBitRate()) +
                                 NearbyText(bitRate));
    }
    const BitRateFit fit = FitBitRate(bitRate);
    return Refused(text, FormatText("the board's serial interface makes %.0f bps of it, %+.2f %% "
                                    "off, and its boot program refuses %.0f %% or more",
                                    fit.producedRate, fit.errorPercent, kLargestBitRateError) +
                             NearbyText(bitRate));
}
