// ReadElf: the loadable segments it takes from files of either byte order, and each rule by which
// it refuses a file, headers cut short or out of range included.
#include "image/elf_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const uint32_t kLoad = 1;
const uint32_t kNote = 4;

struct Segment {
    uint32_t type;
    uint32_t paddr;
    Bytes data;
    uint32_t memorySize;  // at least data.size(); more is .bss
};

// An ELF32 executable: the 52-byte header, the program headers right behind it, then each
// segment's bytes. Virtual addresses lie in RAM, far from the physical ones the reader must use.
struct ElfFile {
    bool bigEndian = true;
    uint16_t machine = kElfMachineH8_300H;
    std::vector<Segment> segments;

    Bytes Build() const {
        Bytes file(52 + 32 * segments.size(), 0);
        const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 1, static_cast<uint8_t>(bigEndian ? 2 : 1),
                                 1};
        std::copy(std::begin(ident), std::end(ident), file.begin());
        Put16(file, 16, 2);  // ET_EXEC
        Put16(file, 18, machine);
        Put32(file, 20, 1);
        Put32(file, 28, 52);
        Put16(file, 40, 52);
        Put16(file, 42, 32);
        Put16(file, 44, static_cast<uint16_t>(segments.size()));
        for (std::size_t i = 0; i < segments.size(); ++i) {
            const Segment& segment = segments[i];
            const std::size_t header = 52 + 32 * i;
            Put32(file, header, segment.type);
            Put32(file, header + 4, static_cast<uint32_t>(file.size()));
            Put32(file, header + 8, 0xFF2000 + static_cast<uint32_t>(0x100 * i));
            Put32(file, header + 12, segment.paddr);
            Put32(file, header + 16, static_cast<uint32_t>(segment.data.size()));
            Put32(file, header + 20, segment.memorySize);
            file.insert(file.end(), segment.data.begin(), segment.data.end());
        }
        return file;
    }
    void Put16(Bytes& file, std::size_t at, uint16_t value) const {
        file[at + (bigEndian ? 0 : 1)] = static_cast<uint8_t>(value >> 8);
        file[at + (bigEndian ? 1 : 0)] = static_cast<uint8_t>(value);
    }
    void Put32(Bytes& file, std::size_t at, uint32_t value) const {
        Put16(file, at + (bigEndian ? 0 : 2), static_cast<uint16_t>(value >> 16));
        Put16(file, at + (bigEndian ? 2 : 0), static_cast<uint16_t>(value));
    }
};

ElfFile Program(bool bigEndian) {
    ElfFile elf;
    elf.bigEndian = bigEndian;
    elf.segments = {{kLoad, 0x0000, {0x00, 0x00, 0x10, 0x00}, 4},
                    {kNote, 0x0000, {0xEE, 0xEE}, 2},
                    // Initialised data stored behind the code, with a .bss tail in RAM.
                    {kLoad, 0x1800, {1, 2, 3}, 0x100},
                    // Only .bss: nothing to program.
                    {kLoad, 0x1900, {}, 0x40}};
    return elf;
}

PieceRead Read(const Bytes& file) {
    return ReadElf(file.data(), file.size());
}

TEST(ElfReaderTest, TakesTheFileBytesOfLoadSegmentsAtTheirPhysicalAddresses) {
    for (const bool bigEndian : {true, false}) {
        for (const uint16_t machine : {kElfMachineH8_300, kElfMachineH8_300H, kElfMachineH8S}) {
            ElfFile elf = Program(bigEndian);
            elf.machine = machine;
            const PieceRead read = Read(elf.Build());
            ASSERT_TRUE(read.accepted) << bigEndian << " " << machine << ": " << read.refusal;
            ASSERT_EQ(2u, read.pieces.size());
            EXPECT_EQ(2, read.units);
            EXPECT_EQ(0x0000u, read.pieces[0].address);
            EXPECT_EQ((Bytes{0x00, 0x00, 0x10, 0x00}), read.pieces[0].bytes);
            EXPECT_EQ("segment 0", read.pieces[0].origin);
            EXPECT_EQ(0x1800u, read.pieces[1].address);
            EXPECT_EQ((Bytes{1, 2, 3}), read.pieces[1].bytes);
            EXPECT_EQ("segment 2", read.pieces[1].origin);
        }
    }
}

struct RefusedCase {
    std::string name;
    std::function<Bytes()> file;
    std::string refusal;
};

class ElfRefusedTest : public testing::TestWithParam<RefusedCase> {};

TEST_P(ElfRefusedTest, SaysWhereAndWhy) {
    const RefusedCase& c = GetParam();
    const Bytes file = c.file();
    // In a buffer of its own size, so that a read past the file is a read past the buffer.
    const PieceRead read = Read(file);
    EXPECT_FALSE(read.accepted) << c.name;
    EXPECT_TRUE(read.pieces.empty()) << c.name;
    EXPECT_EQ(c.refusal, read.refusal) << c.name;
}

Bytes Changed(Bytes file, std::size_t at, std::initializer_list<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
    return file;
}

// The program's file; its second LOAD segment's header is the third (at 52 + 64).
Bytes Built() {
    return Program(true).Build();
}

const std::size_t kThird = 52 + 64;

// The program's first `length` bytes.
Bytes Cut(std::size_t length) {
    const Bytes file = Built();
    return Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
}

INSTANTIATE_TEST_SUITE_P(
    Files, ElfRefusedTest,
    testing::Values(
        RefusedCase{"no magic",
                    [] {
                        return Bytes{'S', '1', '0', '7'};
                    },
                    "ELF header: not an ELF file: it does not begin with 0x7F 'ELF'"},
        RefusedCase{"truncated header", [] { return Cut(40); },
                    "ELF header: truncated: the file has 40 bytes, the header takes 52"},
        RefusedCase{"64-bit", [] { return Changed(Built(), 4, {2}); },
                    "ELF header: not 32-bit: its class is 2 (64-bit)"},
        RefusedCase{"no byte order", [] { return Changed(Built(), 5, {0}); },
                    "ELF header: unknown byte order: its data encoding is 0, not 1 or 2"},
        RefusedCase{"another machine",
                    [] {
                        ElfFile elf = Program(false);
                        elf.machine = 40;  // ARM
                        return elf.Build();
                    },
                    "ELF header: not for the H8 family: machine 40, not 46, 47 or 48"},
        RefusedCase{"program header entries too small",
                    [] {
                        return Changed(Built(), 42, {0, 8});
                    },
                    "program headers: too small: 8 bytes each, an ELF32 program header takes 32"},
        // 65535 entries of 65535 bytes: far past the file, and no product of them overflows.
        RefusedCase{"absurd program header count and size",
                    [] {
                        return Changed(Built(), 42, {0xFF, 0xFF, 0xFF, 0xFF});
                    },
                    "program headers: outside the file: 65535 of 65535 bytes at offset 0x34 end "
                    "at 0xFFFE0035, the file has 0xBD bytes"},
        RefusedCase{"program headers beyond the file",
                    [] {
                        return Changed(Built(), 28, {0xFF, 0xFF, 0xFF, 0xF0});
                    },
                    "program headers: outside the file: 4 of 32 bytes at offset 0xFFFFFFF0 end "
                    "at 0x100000070, the file has 0xBD bytes"},
        RefusedCase{"truncated program headers", [] { return Cut(100); },
                    "program headers: outside the file: 4 of 32 bytes at offset 0x34 end at "
                    "0xB4, the file has 0x64 bytes"},
        // An offset near 4 GiB would wrap around in 32 bits and point back into the file.
        RefusedCase{"segment offset that overflows",
                    [] {
                        return Changed(Built(), kThird + 4, {0xFF, 0xFF, 0xFF, 0xFF});
                    },
                    "segment 2: outside the file: its 0x3 bytes at offset 0xFFFFFFFF end past "
                    "the file's 0xBD"},
        RefusedCase{"segment cut short", [] { return Cut(Built().size() - 1); },
                    "segment 2: outside the file: its 0x3 bytes at offset 0xBA end past the "
                    "file's 0xBC"},
        RefusedCase{"more in the file than in memory",
                    [] {
                        return Changed(Built(), kThird + 20, {0, 0, 0, 2});
                    },
                    "segment 2: larger in the file than in memory: 0x3 bytes in the file, 0x2 "
                    "in memory"},
        RefusedCase{"outside the user MAT",
                    [] {
                        return Changed(Built(), kThird + 12, {0x00, 0x07, 0xFF, 0xFE});
                    },
                    "segment 2: outside the user MAT: data at 0x0007FFFE-0x00080000 lies outside "
                    "the 524288-byte user MAT"},
        RefusedCase{"physical address near 4 GiB",
                    [] {
                        return Changed(Built(), kThird + 12, {0xFF, 0xFF, 0xFF, 0xFF});
                    },
                    "segment 2: outside the user MAT: data at 0xFFFFFFFF-0x100000001 lies "
                    "outside the 524288-byte user MAT"},
        RefusedCase{"no program headers",
                    [] {
                        return Changed(Built(), 44, {0, 0});
                    },
                    "no loadable data: no PT_LOAD segment has a non-zero file size"},
        RefusedCase{"only .bss",
                    [] {
                        ElfFile elf;
                        elf.segments = {{kLoad, 0x100, {}, 0x40}, {kNote, 0, {1}, 1}};
                        return elf.Build();
                    },
                    "no loadable data: no PT_LOAD segment has a non-zero file size"}));

}  // namespace
