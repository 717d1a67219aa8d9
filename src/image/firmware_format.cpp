// Format names, detection by content, and reading by format.
#include "image/firmware_format.h"

#include <cstring>

#include "image/elf_reader.h"
#include "image/formatted_text.h"
#include "image/ihex_reader.h"

namespace {

struct FormatName {
    const char* name;
    FirmwareFormat format;
};
const FormatName kFormatNames[] = {{"srec", FirmwareFormat::SRecord},
                                   {"ihex", FirmwareFormat::IntelHex},
                                   {"elf", FirmwareFormat::Elf},
                                   {"bin", FirmwareFormat::Binary}};

PieceRead ReadBinary(const char* data, std::size_t size, uint32_t offset) {
    PieceRead read;
    if (size == 0) {
        read.accepted = true;
        return read;
    }
    read.refusal = OutsideUserMat(offset, size);
    if (!read.refusal.empty()) {
        read.refusal = FormatText("offset 0x%08X: ", offset) + read.refusal;
        return read;
    }
    read.accepted = true;
    DataPiece& piece = read.pieces.emplace_back();
    piece.address = offset;
    piece.bytes.assign(data, data + size);
    piece.origin = "the file";
    return read;
}

}  // namespace

bool FormatNamed(const std::string& name, FirmwareFormat& format) {
    for (const FormatName& known : kFormatNames) {
        if (name == known.name) {
            format = known.format;
            return true;
        }
    }
    return false;
}

const char* FormatTitle(FirmwareFormat format) {
    switch (format) {
        case FirmwareFormat::IntelHex:
            return "Intel HEX";
        case FirmwareFormat::Elf:
            return "ELF";
        case FirmwareFormat::Binary:
            return "binary";
        default:
            return "MOT/SRECORD";
    }
}

FirmwareFormat DetectFormat(const char* data, std::size_t size) {
    if (size >= 4 && std::memcmp(data,
                                 "\x7F"
                                 "ELF",
                                 4) == 0) {
        return FirmwareFormat::Elf;
    }
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != '\r' && data[i] != '\n') {
            return data[i] == ':' ? FirmwareFormat::IntelHex : FirmwareFormat::SRecord;
        }
    }
    return FirmwareFormat::SRecord;
}

std::size_t ByteOrderMarkLength(const char* data, std::size_t size) {
    return size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}

Appearance LooksLike(const char* data, std::size_t size) {
    // The COFF file header's magic, big-endian as the H8 is: 0x8300 (H8/300) to 0x8304 (H8S in
    // normal mode).
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
    if (size >= 20 && bytes[0] == 0x83 && bytes[1] <= 0x04) {
        return Appearance::CoffObject;
    }
    // Text has no control characters but the line ends, tabs, form feeds and DOS's end-of-file
    // mark; the first 64 KiB tell.
    const std::size_t looked = size < 65536 ? size : 65536;
    for (std::size_t i = 0; i < looked; ++i) {
        const unsigned char c = bytes[i];
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1A) {
            return Appearance::Binary;
        }
    }
    return Appearance::Text;
}

PieceRead ReadPieces(FirmwareFormat format, const char* data, std::size_t size, uint32_t offset) {
    switch (format) {
        case FirmwareFormat::IntelHex:
            return ReadIntelHex(data, size);
        case FirmwareFormat::Elf:
            return ReadElf(reinterpret_cast<const uint8_t*>(data), size);
        case FirmwareFormat::Binary:
            return ReadBinary(data, size, offset);
        default: {
            PieceRead read;
            read.refusal = "S-records are read by the S-record reader";
            return read;
        }
    }
}
