// The formats a firmware file may come in for velmora-cli: their names, how a file's content
// tells them apart, and the reading of a non-S-record file into data pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/data_piece.h"

enum class FirmwareFormat { SRecord, IntelHex, Elf, Binary };

// The format --format names ("srec", "ihex", "elf", "bin"); false for any other name.
bool FormatNamed(const std::string& name, FirmwareFormat& format);
// As the load summary and its messages call it: "MOT/SRECORD", "Intel HEX", "ELF", "Binary".
const char* FormatTitle(FirmwareFormat format);

// The format by content: ELF by its magic, Intel HEX when the first line that is not empty
// begins with ':', S-records otherwise (as every file was read before). A binary file cannot be
// told from the others by content; it is only ever chosen by name.
FirmwareFormat DetectFormat(const char* data, std::size_t size);

// The length of the UTF-8 byte-order mark that begins `data` (editors on Windows write one before
// a text's first line): 3, or 0 without one.
std::size_t ByteOrderMarkLength(const char* data, std::size_t size);

// What a file whose content tells no format with data in it looks like, for the advice that its
// refusal gives.
enum class Appearance {
    Text,        // lines of text: notes, or S-records without data
    CoffObject,  // a COFF object file for the H8 family, by its magic number
    Binary       // bytes that no text holds: a raw binary, or an object file of another kind
};
Appearance LooksLike(const char* data, std::size_t size);

// The pieces of an Intel HEX, ELF or binary file (one piece of all its bytes at `offset`, the
// binary's only parameter). S-records are the S-record reader's: not accepted here.
PieceRead ReadPieces(FirmwareFormat format, const char* data, std::size_t size, uint32_t offset);
