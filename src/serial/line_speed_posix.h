// Any bit rate on a Linux tty, also those without a B-constant (62500, 76800), through termios2.
#pragma once

#include <cstdint>
#include <vector>

// Sets both directions of the line to `bitRate` and reads back the rate the driver took, into
// `taken`. False, with errno, when the driver refuses the request.
bool SetExactBitRate(int port, int32_t bitRate, int32_t* taken);

// What a driver did with one rate asked for.
struct RateTrial {
    bool set;       // the driver took the request
    int32_t taken;  // the rate it then reports, when set
    int error;      // errno, when not set
};

// Asks for each of `bitRates` in turn, then puts the line's settings back as they were. False,
// with errno, when they cannot be read or put back.
bool TryBitRates(int port, const std::vector<int32_t>& bitRates, std::vector<RateTrial>* trials);
