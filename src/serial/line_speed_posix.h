// Any bit rate on a Linux tty, also those without a B-constant (62500, 76800), through termios2.
#pragma once

#include <cstdint>

// Sets both directions of the line to `bitRate` and reads back the rate the driver took, into
// `taken`. False, with errno, when the driver refuses the request.
bool SetExactBitRate(int port, int32_t bitRate, int32_t* taken);
