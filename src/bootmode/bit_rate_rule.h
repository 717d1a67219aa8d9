// Which programming bit rates the boot program takes, judged as it judges them: from the SCI's
// clock, its four clock selects and its 8-bit divider.
#pragma once

#include <cstdint>
#include <vector>

#include "bootmode/boot_protocol.h"

struct BitRateFit {
    bool accepted = false;
    double producedRate = 0;  // what the SCI makes of the request, in bps; 0 when it cannot
    double errorPercent = 0;  // (produced / requested - 1) x 100
};

// The SCI's nearest rate to `bitRate` and whether the boot program would take it.
BitRateFit FitBitRate(int bitRate);

// The rates `--bps max` tries, fastest first. The SCI's 156250 is asked for as 156300: the boot
// program takes rates in units of 100.
constexpr int kFastestBitRates[] = {625000, 312500, 156300, 125000,
                                    76800,  62500,  57600,  kProgrammingBitRate};

// The SCI's fastest asynchronous rate: its clock divided by 32 (625000 bps).
int FastestSciBitRate();

// A rate the run can move the link to: one the boot program takes (in its units of 100 bps, within
// its error), no faster than the SCI runs, and no slower than the matching rate, below which a
// block outlasts its fixed wait.
bool IsProgrammingBitRate(int bitRate);

// The programming bit rates nearest below and above `bitRate` (0 where there is none).
struct NearbyBitRates {
    int below = 0;
    int above = 0;
};
NearbyBitRates NearestAcceptedRates(int bitRate);

// A slower rate to try when the link did not come up at `bitRate`: the next that `--bps max`
// tries, or below those a rate that host ports commonly run at; 0 when there is none.
int LowerRateToTry(int bitRate);

// The design's parameter block with `bitRate` in place of its rate.
std::vector<uint8_t> BitRateParameters(int bitRate);
