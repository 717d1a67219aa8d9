// The value of a hexadecimal digit, for the text formats' readers.
#pragma once

#include <cstdint>

// Every character of a multi-MiB file is looked up, so a table beats comparisons.
struct HexDigitTable {
    int8_t values[256];
    constexpr HexDigitTable() : values() {
        for (int c = 0; c < 256; ++c) {
            values[c] = c >= '0' && c <= '9'   ? static_cast<int8_t>(c - '0')
                        : c >= 'A' && c <= 'F' ? static_cast<int8_t>(c - 'A' + 10)
                        : c >= 'a' && c <= 'f' ? static_cast<int8_t>(c - 'a' + 10)
                                               : int8_t{-1};
        }
    }
};
inline constexpr HexDigitTable kHexDigits;

// 0 to 15, or -1 for a character that is no hexadecimal digit.
inline int HexDigitValue(char c) {
    return kHexDigits.values[static_cast<unsigned char>(c)];
}
