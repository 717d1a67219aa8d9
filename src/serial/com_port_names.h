// The walk over the system's device names that finds the COM ports, free of system calls.
#pragma once

#include <cstddef>
#include <cstdint>

// At most this many ports are listed: the count is an 8-bit number.
const int kMaxComPorts = 255;

// names holds up to `length` UTF-16 units of zero-terminated names, the last followed by an
// empty name. Every name longer than three units that starts with "COM" (case-sensitive) and
// whose remainder starts with a number from 1 to 255 is appended to numbers[count...], in list
// order, until kMaxComPorts are stored. "COM1A" counts as port 1; "COM", "COMX", "COM0" and
// "COM300" are skipped.
void CollectComPortNumbers(const wchar_t* names, size_t length, uint8_t* numbers, uint8_t& count);
