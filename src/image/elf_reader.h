// The ELF reader: turns the loadable segments of a 32-bit ELF file for the H8 family into data
// pieces.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/data_piece.h"

// The H8 family's machine numbers in an ELF header: H8/300, H8/300H, H8S (H8SX files carry one of
// them).
constexpr uint16_t kElfMachineH8_300 = 46;
constexpr uint16_t kElfMachineH8_300H = 47;
constexpr uint16_t kElfMachineH8S = 48;

// Reads a 32-bit ELF file of either byte order: the file bytes of every PT_LOAD segment with a
// non-zero file size become one piece at its physical address (p_paddr), named "segment <n>" by
// its program header's index; the rest of its memory size (.bss) is not programmed. Refused, with
// "<where>: <what failed>: <why>", are a file that is not ELF, not 32-bit, of no known byte order
// or for a machine outside the H8 family, program headers or a segment's bytes outside the file,
// a segment larger in the file than in memory or outside the user MAT, and a file without
// loadable data. Every offset and size is checked against the file before it is read.
PieceRead ReadElf(const uint8_t* data, std::size_t size);
