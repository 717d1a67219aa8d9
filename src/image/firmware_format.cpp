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
