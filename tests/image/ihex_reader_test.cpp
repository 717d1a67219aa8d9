// ReadIntelHex: the record types it reads and where their data goes, each rule by which it
// refuses a text, with the line it names, and files made by srec_cat.
#include "image/ihex_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A record with the checksum that makes its bytes add up to 0x00.
std::string Record(int type, unsigned address, const Bytes& data) {
    char text[16];
    std::snprintf(text, sizeof(text), ":%02X%04X%02X", static_cast<unsigned>(data.size()), address,
                  static_cast<unsigned>(type));
    std::string line = text;
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) +
                   static_cast<unsigned>(type);
    for (uint8_t byte : data) {
        std::snprintf(text, sizeof(text), "%02X", byte);
        line += text;
        sum += byte;
    }
    std::snprintf(text, sizeof(text), "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + text;
}

const std::string kEnd = ":00000001FF";

PieceRead Read(const std::string& text) {
    return ReadIntelHex(text.data(), text.size());
}

struct Placed {
    uint32_t address;
    Bytes bytes;
    std::string origin;
};

struct AcceptedCase {
    std::string name;
    std::string text;
    std::vector<Placed> pieces;
    int units;
};

class IntelHexAcceptedTest : public testing::TestWithParam<AcceptedCase> {};

TEST_P(IntelHexAcceptedTest, PlacesEachDataRecordAtItsAddress) {
    const AcceptedCase& c = GetParam();
    const PieceRead read = Read(c.text);
    ASSERT_TRUE(read.accepted) << c.name << ": " << read.refusal;
    EXPECT_EQ("", read.refusal);
    EXPECT_EQ(c.units, read.units) << c.name;
    ASSERT_EQ(c.pieces.size(), read.pieces.size()) << c.name;
    for (std::size_t i = 0; i < c.pieces.size(); ++i) {
        EXPECT_EQ(c.pieces[i].address, read.pieces[i].address) << c.name << " " << i;
        EXPECT_EQ(c.pieces[i].bytes, read.pieces[i].bytes) << c.name << " " << i;
        EXPECT_EQ(c.pieces[i].origin, read.pieces[i].origin) << c.name << " " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IntelHexAcceptedTest,
    testing::Values(
        AcceptedCase{"data and end",
                     Record(0, 0x0100, {1, 2, 3}) + "\n" + kEnd + "\n",
                     {{0x0100, {1, 2, 3}, "line 1"}},
                     2},
        // Segment base times 16; linear base times 65536; each holds until the next one.
        AcceptedCase{"extended segment address",
                     Record(2, 0, {0x10, 0x00}) + "\n" + Record(0, 0x0004, {9}) + "\n" + kEnd,
                     {{0x10004, {9}, "line 2"}},
                     3},
        AcceptedCase{"extended linear address",
                     Record(4, 0, {0x00, 0x07}) + "\n" + Record(0, 0xFFF0, {7, 8}) + "\n" +
                         Record(4, 0, {0x00, 0x00}) + "\n" + Record(0, 0x0010, {5}) + "\n" + kEnd,
                     {{0x7FFF0, {7, 8}, "line 2"}, {0x10, {5}, "line 4"}},
                     5},
        // Start addresses are read and left aside; an empty data record gives no piece.
        AcceptedCase{"start addresses and an empty data record",
                     Record(3, 0, {0, 0, 0x10, 0}) + "\n" + Record(5, 0, {0, 0, 0x10, 0}) + "\n" +
                         Record(0, 0x20, {}) + "\n" + Record(0, 0x30, {0xAA}) + "\n" + kEnd,
                     {{0x30, {0xAA}, "line 4"}},
                     5},
        // CR LF counts one line; empty lines, lower case, trailing blanks and text after the end
        // are passed over.
        AcceptedCase{"CR LF, empty lines, lower case and what follows the end",
                     "\r\n" + std::string(":0100400011ae \t") + "\r\n" + kEnd +
                         "\r\nnotes after the end\r\n",
                     {{0x40, {0x11}, "line 2"}},
                     2},
        // The last byte of the user MAT.
        AcceptedCase{"up to the end of the user MAT",
                     Record(4, 0, {0x00, 0x07}) + "\n" + Record(0, 0xFFFF, {0x42}) + "\n" + kEnd,
                     {{0x7FFFF, {0x42}, "line 2"}},
                     3}));

struct RefusedCase {
    std::string name;
    std::string text;
    std::string refusal;
};

class IntelHexRefusedTest : public testing::TestWithParam<RefusedCase> {};

TEST_P(IntelHexRefusedTest, NamesTheLineAndWhy) {
    const RefusedCase& c = GetParam();
    const PieceRead read = Read(c.text);
    EXPECT_FALSE(read.accepted) << c.name;
    EXPECT_TRUE(read.pieces.empty()) << c.name;
    EXPECT_EQ(c.refusal, read.refusal) << c.name;
}

const std::string kData = Record(0, 0x0100, {1, 2, 3}) + "\n";

INSTANTIATE_TEST_SUITE_P(
    Texts, IntelHexRefusedTest,
    testing::Values(
        RefusedCase{"not a record", kData + "S1070100AABBCCDDE9\n",
                    "line 2: not an Intel HEX record: it does not begin with ':'"},
        RefusedCase{"too short", kData + ":000000\n",
                    "line 2: not an Intel HEX record: shorter than 11 characters"},
        RefusedCase{"count not hexadecimal", ":G100000000FF\n",
                    "line 1: not an Intel HEX record: the count field is not hexadecimal"},
        RefusedCase{"line shorter than its count", ":0300000001021A\n",
                    "line 1: not an Intel HEX record: its count 0x03 needs 17 characters, the "
                    "line has 15"},
        RefusedCase{"line longer than its count", ":01000000011EFF\n",
                    "line 1: not an Intel HEX record: its count 0x01 needs 13 characters, the "
                    "line has 15"},
        RefusedCase{"data not hexadecimal", ":01000Z0001FE\n",
                    "line 1: not an Intel HEX record: the address field is not hexadecimal"},
        RefusedCase{"checksum", kData + ":0100000001FF\n",
                    "line 2: checksum mismatch: its bytes add up to 0x01, not 0x00"},
        RefusedCase{"unknown type", Record(6, 0, {}) + "\n",
                    "line 1: unknown record type 0x06: only 00 to 05 are Intel HEX records"},
        RefusedCase{"address record of the wrong size", Record(4, 0, {0}) + "\n",
                    "line 1: not an Intel HEX record: type 04 carries 2 data bytes, this one 1"},
        RefusedCase{"record after the end", kData + kEnd + "\n\n" + kData,
                    "line 4: record after the end of file: line 2 ends it"},
        // Cut at a line's end, the file would program less than it was made with.
        RefusedCase{"no end-of-file record", kData + "\n" + Record(4, 0, {0x00, 0x01}) + "\n\n",
                    "line 3: the file ends without an end-of-file record (type 01): it may be "
                    "cut short"},
        RefusedCase{"data past its address field", Record(0, 0xFFFF, {1, 2}) + "\n",
                    "line 1: data runs past its address field: 2 bytes at offset 0xFFFF go "
                    "beyond 0xFFFF"},
        RefusedCase{"outside the user MAT",
                    Record(4, 0, {0x00, 0x08}) + "\n" + Record(0, 0x0000, {1, 2}) + "\n",
                    "line 2: data at 0x00080000-0x00080001 lies outside the 524288-byte user "
                    "MAT"},
        RefusedCase{"outside the user MAT by segment",
                    Record(2, 0, {0x7F, 0xFF}) + "\n" + Record(0, 0x000F, {1, 2}) + "\n",
                    "line 2: data at 0x0007FFFF-0x00080000 lies outside the 524288-byte user "
                    "MAT"}));

std::string FileText(const std::string& name) {
    std::ifstream file(std::string(VELMORA_SREC_SAMPLES) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

struct SampleCase {
    std::string hex;    // made by srec_cat from an S-record sample
    std::string image;  // srec_cat's image of that sample: 0xFF where no record lies
    uint32_t base;      // the image's first address
};

class IntelHexSampleTest : public testing::TestWithParam<SampleCase> {};

TEST_P(IntelHexSampleTest, GivesTheBytesOfTheSRecordsItWasMadeFrom) {
    const SampleCase& c = GetParam();
    const std::string text = FileText(c.hex);
    const std::string expected = FileText(c.image);
    ASSERT_FALSE(text.empty() || expected.empty()) << c.hex;
    const PieceRead read = Read(text);
    ASSERT_TRUE(read.accepted) << c.hex << ": " << read.refusal;
    std::string image(expected.size(), '\xFF');
    for (const DataPiece& piece : read.pieces) {
        ASSERT_GE(piece.address, c.base) << c.hex;
        ASSERT_LE(piece.address - c.base + piece.bytes.size(), image.size()) << c.hex;
        std::copy(piece.bytes.begin(), piece.bytes.end(), image.begin() + (piece.address - c.base));
    }
    EXPECT_EQ(expected, image) << c.hex;
}

// Linear addressing up to the last byte of the user MAT, CR LF; segment addressing; 16 bytes a
// line.
INSTANTIATE_TEST_SUITE_P(
    Samples, IntelHexSampleTest,
    testing::Values(SampleCase{"long-lines-linear.hex", "long-lines-s3.bin", 0x07FC00},
                    SampleCase{"odd-start-segment.hex", "odd-start-s2-crlf.bin", 0x012000},
                    SampleCase{"two-blocks.hex", "two-blocks-s1.bin", 0}));

}  // namespace
