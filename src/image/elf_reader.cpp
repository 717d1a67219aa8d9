// The ELF reader: the ELF header, the program header table and the PT_LOAD segments it lists.
#include "image/elf_reader.h"

#include <string>

#include "image/formatted_text.h"

namespace {

// The fields of a 32-bit ELF header and program header that the reader uses, at their offsets.
const std::size_t kElfHeaderBytes = 52;
const std::size_t kClassOffset = 4;
const std::size_t kDataOffset = 5;
const std::size_t kMachineOffset = 18;
const std::size_t kPhoffOffset = 28;
const std::size_t kPhentsizeOffset = 42;
const std::size_t kPhnumOffset = 44;
const uint8_t kClass32 = 1;
const uint8_t kLittleEndian = 1;
const uint8_t kBigEndian = 2;

const uint32_t kProgramHeaderBytes = 32;
const std::size_t kTypeField = 0;
const std::size_t kOffsetField = 4;
const std::size_t kPaddrField = 12;
const std::size_t kFileSizeField = 16;
const std::size_t kMemorySizeField = 20;
const uint32_t kLoadSegment = 1;  // PT_LOAD

const uint8_t kMagic[] = {0x7F, 'E', 'L', 'F'};

// The file's fields in its own byte order; callers have checked that they lie inside the file.
struct ElfFields {
    const uint8_t* data;
    bool bigEndian;

    uint16_t Half(uint64_t at) const {
        const uint8_t* p = data + at;
        return static_cast<uint16_t>(bigEndian ? p[0] << 8 | p[1] : p[1] << 8 | p[0]);
    }
    uint32_t Word(uint64_t at) const {
        const uint32_t first = Half(at);
        const uint32_t second = Half(at + 2);
        return bigEndian ? first << 16 | second : second << 16 | first;
    }
};

PieceRead Refused(const std::string& why) {
    PieceRead read;
    read.refusal = why;
    return read;
}

}  // namespace

PieceRead ReadElf(const uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < sizeof(kMagic); ++i) {
        if (i >= size || data[i] != kMagic[i]) {
            return Refused("ELF header: not an ELF file: it does not begin with 0x7F 'ELF'");
        }
    }
    if (size < kElfHeaderBytes) {
        return Refused(
            FormatText("ELF header: truncated: the file has %llu bytes, the header "
                       "takes %llu",
                       static_cast<unsigned long long>(size),
                       static_cast<unsigned long long>(kElfHeaderBytes)));
    }
    if (data[kClassOffset] != kClass32) {
        return Refused(FormatText("ELF header: not 32-bit: its class is %u%s", data[kClassOffset],
                                  data[kClassOffset] == 2 ? " (64-bit)" : ""));
    }
    if (data[kDataOffset] != kLittleEndian && data[kDataOffset] != kBigEndian) {
        return Refused(
            FormatText("ELF header: unknown byte order: its data encoding is %u, not 1 "
                       "or 2",
                       data[kDataOffset]));
    }
    const ElfFields file = {data, data[kDataOffset] == kBigEndian};
    const uint16_t machine = file.Half(kMachineOffset);
    if (machine != kElfMachineH8_300 && machine != kElfMachineH8_300H &&
        machine != kElfMachineH8S) {
        return Refused(FormatText("ELF header: not for the H8 family: machine %u, not %u, %u or %u",
                                  machine, kElfMachineH8_300, kElfMachineH8_300H, kElfMachineH8S));
    }
    const uint64_t tableOffset = file.Word(kPhoffOffset);
    const uint32_t entryBytes = file.Half(kPhentsizeOffset);
    const uint32_t entries = file.Half(kPhnumOffset);
    if (entries > 0 && entryBytes < kProgramHeaderBytes) {
        return Refused(
            FormatText("program headers: too small: %u bytes each, an ELF32 program "
                       "header takes %u",
                       entryBytes, kProgramHeaderBytes));
    }
    const uint64_t tableEnd = tableOffset + uint64_t{entries} * entryBytes;
    if (tableEnd > size) {
        return Refused(FormatText(
            "program headers: outside the file: %u of %u bytes at offset "
            "0x%llX end at 0x%llX, the file has 0x%llX bytes",
            entries, entryBytes, static_cast<unsigned long long>(tableOffset),
            static_cast<unsigned long long>(tableEnd), static_cast<unsigned long long>(size)));
    }

    PieceRead read;
    for (uint32_t index = 0; index < entries; ++index) {
        const uint64_t header = tableOffset + uint64_t{index} * entryBytes;
        const uint64_t offset = file.Word(header + kOffsetField);
        const uint64_t fileSize = file.Word(header + kFileSizeField);
        if (file.Word(header + kTypeField) != kLoadSegment || fileSize == 0) {
            continue;
        }
        const std::string where = FormatText("segment %u: ", index);
        const uint64_t memorySize = file.Word(header + kMemorySizeField);
        if (offset + fileSize > size) {
            return Refused(where + FormatText("outside the file: its 0x%llX bytes at offset 0x%llX "
                                              "end past the file's 0x%llX",
                                              static_cast<unsigned long long>(fileSize),
                                              static_cast<unsigned long long>(offset),
                                              static_cast<unsigned long long>(size)));
        }
        if (fileSize > memorySize) {
            return Refused(where + FormatText("larger in the file than in memory: 0x%llX bytes in "
                                              "the file, 0x%llX in memory",
                                              static_cast<unsigned long long>(fileSize),
                                              static_cast<unsigned long long>(memorySize)));
        }
        const uint32_t address = file.Word(header + kPaddrField);
        const std::string outside = OutsideUserMat(address, fileSize);
        if (!outside.empty()) {
            return Refused(where + "outside the user MAT: " + outside);
        }
        DataPiece& piece = read.pieces.emplace_back();
        piece.address = address;
        piece.bytes.assign(data + offset, data + offset + fileSize);
        piece.origin = FormatText("segment %u", index);
        ++read.units;
    }
    if (read.pieces.empty()) {
        return Refused("no loadable data: no PT_LOAD segment has a non-zero file size");
    }
    read.accepted = true;
    return read;
}
