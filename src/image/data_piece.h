// Firmware bytes as the readers of Intel HEX, ELF and binary files give them, and the rule that
// two pieces may overlap only with the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Bytes for the flash at their load address, with the place in the file they came from.
struct DataPiece {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
    std::string origin;  // how a refusal names it: "line 7", "segment 2"
};

// What a reader makes of a whole file: its pieces in file order, or why it refused the file.
struct PieceRead {
    bool accepted = false;
    std::vector<DataPiece> pieces;  // empty when refused
    int units = 0;                  // records or loadable segments read, for the summary
    std::string refusal;            // when refused: "<where>: <what failed>: <why>"
};

// Why `length` bytes at `address` cannot go into the user MAT ("data at 0x...-0x... lies outside
// the 524288-byte user MAT"), or empty when they fit.
std::string OutsideUserMat(uint64_t address, uint64_t length);

// The first place, in file order, where a piece gives a byte that an earlier piece gives
// differently: "line 7 and line 3: overlapping data differs: ...". Empty when every overlap
// repeats the same bytes. The pieces lie inside the user MAT, as the readers leave them.
std::string DifferingOverlap(const std::vector<DataPiece>& pieces);
