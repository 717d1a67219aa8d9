// SRECReader: fields of each line type up to the longest lines, line breaks and diagnostics,
// undersize and wrapping lines, the hexadecimal scan, and files made by srec_cat and objcopy.
#include "image/srec_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/split_string.h"

namespace {

using Bytes = std::vector<uint8_t>;

const int kRecordBytes = static_cast<int>(sizeof(SRecord::data));

bool ParseText(SRECReader& reader, const std::string& text) {
    return reader.Parse(text.data(), static_cast<int>(text.size()));
}

Bytes DataOf(const SRecord& record, int dataBytes) {
    return Bytes(record.data, record.data + dataBytes);
}

std::string Hex(const Bytes& bytes) {
    std::string text;
    for (uint8_t byte : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof(digits), "%02X", byte);
        text += digits;
    }
    return text;
}

// The line with the checksum that makes the bytes from its count field on add up to 0xFF.
std::string WithChecksum(const std::string& line) {
    unsigned sum = 0;
    for (std::size_t i = 2; i + 1 < line.size(); i += 2) {
        sum += static_cast<unsigned>(std::stoul(line.substr(i, 2), nullptr, 16));
    }
    return line + Hex({static_cast<uint8_t>(~sum)});
}

Bytes Counting(int length, int step) {
    Bytes bytes(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<uint8_t>(1 + i * step);
    }
    return bytes;
}

Bytes Joined(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::string NotEnough(int line, int length) {
    return "Line " + std::to_string(line) +
           " is not enought to read as SRECORD = " + std::to_string(length);
}

std::string Join(const std::vector<std::string>& lines, const std::string& lineBreak) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + lineBreak;
    }
    return text;
}

void ExpectSameRecords(const SRECReader& expected, const SRECReader& actual) {
    ASSERT_EQ(expected.GetRecordCount(), actual.GetRecordCount());
    for (int i = 0; i < expected.GetRecordCount(); ++i) {
        const SRecord* a = expected.GetRecord(i);
        const SRecord* b = actual.GetRecord(i);
        EXPECT_EQ(a->type, b->type) << i;
        EXPECT_EQ(a->count, b->count) << i;
        EXPECT_EQ(a->address, b->address) << i;
        EXPECT_EQ(DataOf(*a, kRecordBytes), DataOf(*b, kRecordBytes)) << i;
        EXPECT_EQ(a->checksum, b->checksum) << i;
    }
}

struct LineCase {
    std::string line;
    int32_t type;
    int32_t count;
    uint32_t address;
    Bytes data;
    uint8_t checksum;
    uint32_t endAddress;
    int byteTotal;  // GetDataByteCount
};

class SingleLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(SingleLineTest, StoresTheFieldsOfTheLine) {
    const LineCase& c = GetParam();
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, c.line));
    ASSERT_EQ(1, reader.GetRecordCount());
    const SRecord* record = reader.GetRecord(0);
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(c.type, record->type);
    EXPECT_EQ(c.count, record->count);
    EXPECT_EQ(c.address, record->address);
    EXPECT_EQ(static_cast<int>(c.data.size()), DataByteCount(*record));
    Bytes expectedData = c.data;
    expectedData.resize(kRecordBytes, 0);
    EXPECT_EQ(expectedData, DataOf(*record, kRecordBytes));
    EXPECT_EQ(c.checksum, record->checksum);
    EXPECT_EQ(0u, reader.startAddress());
    EXPECT_EQ(c.endAddress, reader.endAddress());
    EXPECT_EQ(c.byteTotal, reader.GetDataByteCount());
    EXPECT_EQ(0u, reader.firstIndex());
    EXPECT_EQ(0u, reader.lastIndex());
    EXPECT_STREQ("", reader.GetMessages());
    EXPECT_EQ(nullptr, reader.GetRecord(1));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SingleLineTest,
    testing::Values(
        LineCase{"S1070100AABBCCDDE9", 1, 7, 0x0100, {0xAA, 0xBB, 0xCC, 0xDD}, 0xE9, 0x107, 7},
        LineCase{"S208010000112233444C", 2, 8, 0x10000, {0x11, 0x22, 0x33, 0x44}, 0x4C, 0x10008, 8},
        LineCase{"S30900ABCDEF0102030479", 3, 9, 0xABCDEF, {1, 2, 3, 4}, 0x79, 0xABCDF8, 9},
        // A termination line: no address is read, the checksum is the byte after the count.
        LineCase{"S9030000FC", 9, 3, 0, {}, 0x00, 0, 0},
        // Lower-case digits, and characters after the checksum that are ignored.
        LineCase{
            "S1070a0faabbccdde9 ; tail", 1, 7, 0x0A0F, {0xAA, 0xBB, 0xCC, 0xDD}, 0xE9, 0x0A16, 7},
        // A type that is not a digit is the character minus '0' and reads like a header.
        LineCase{"SA0501020304F0", 17, 5, 0, {0x01, 0x02}, 0x03, 0, 0},
        // Longer lines than 32 data bytes keep all of their data, up to a count of 0xFF.
        LineCase{WithChecksum("S1FF1000" + Hex(Counting(252, 1))), 1, 0xFF, 0x1000,
                 Counting(252, 1), 0x6A, 0x10FF, 0xFF},
        LineCase{WithChecksum("S3FF00070000" + Hex(Counting(250, 7))), 3, 0xFF, 0x70000,
                 Counting(250, 7), 0xEC, 0x700FF, 0xFF},
        // A header of the longest kind: its 252 stored bytes begin with the address bytes.
        LineCase{WithChecksum("S0FF0000" + Hex(Counting(252, 1))), 0, 0xFF, 0,
                 Joined({0, 0}, Counting(250, 1)), 0xFB, 0, 0},
        // The least: no data at all.
        LineCase{"S1031234B6", 1, 3, 0x1234, {}, 0xB6, 0x1237, 3},
        LineCase{"S30500001000EA", 3, 5, 0x1000, {}, 0xEA, 0x1005, 5}));

TEST(SRECReaderTest, EmptyTextFailsAndKeepsWhatWasRead) {
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, "S1070100AABBCCDDE9\n"));
    const std::string messages = reader.GetMessages();
    const char text[] = "S1070100AABBCCDDE9";

    EXPECT_FALSE(reader.Parse(text, 0));
    EXPECT_FALSE(reader.Parse(text, -5));
    EXPECT_FALSE(reader.Parse(nullptr, 18));
    EXPECT_FALSE(reader.Parse(Bytes()));
    EXPECT_FALSE(reader.ParseLines({}));

    EXPECT_EQ(1, reader.GetRecordCount());
    EXPECT_EQ(0x107u, reader.endAddress());
    EXPECT_EQ(messages, reader.GetMessages());
}

TEST(SRECReaderTest, ParsesOnlyTheBytesItIsGiven) {
    // The buffer goes on past size: nothing after it may be read as part of the line.
    const char text[] = "S1070100AABBCCDDE9S1070200AABBCCDDE8";
    SRECReader reader;
    ASSERT_TRUE(reader.Parse(text, 18));
    EXPECT_EQ(1, reader.GetRecordCount());
    EXPECT_EQ(0xE9, reader.GetRecord(0)->checksum);

    // Cut inside the checksum, the count asks for more than is there.
    ASSERT_TRUE(reader.Parse(text, 17));
    EXPECT_EQ(0, reader.GetRecordCount());
    EXPECT_STREQ("", reader.GetMessages());
}

TEST(SRECReaderTest, CrLfLeavesAnEmptyPieceBehindEveryLine) {
    const std::vector<std::string> lines = {"S00600004844521B", "S1070100AABBCCDDE9",
                                            "S208010000112233444C", "S9030000FC"};
    SRECReader lf;
    SRECReader crlf;
    ASSERT_TRUE(ParseText(lf, Join(lines, "\n")));
    ASSERT_TRUE(ParseText(crlf, Join(lines, "\r\n")));

    ExpectSameRecords(lf, crlf);
    EXPECT_EQ(4, crlf.GetRecordCount());
    EXPECT_EQ(lf.endAddress(), crlf.endAddress());
    EXPECT_EQ(lf.GetDataByteCount(), crlf.GetDataByteCount());
    // The final break leaves one more empty piece after the last line, in both.
    EXPECT_EQ(NotEnough(4, 0), lf.GetMessages());
    EXPECT_EQ(
        NotEnough(1, 0) + NotEnough(3, 0) + NotEnough(5, 0) + NotEnough(7, 0) + NotEnough(8, 0),
        crlf.GetMessages());
}

TEST(SRECReaderTest, ParseLinesReadsListsAsParseReadsText) {
    const std::string text = "S0030000FC\r\n\r\nS1\nS1070100AABBCCDDE9\rs1070100AABBCCDDE9\n";
    SRECReader fromText;
    SRECReader fromLines;
    ASSERT_TRUE(ParseText(fromText, text));
    ASSERT_TRUE(fromLines.ParseLines(SplitString(text, "\r\n")));
    ExpectSameRecords(fromText, fromLines);
    EXPECT_STREQ(fromText.GetMessages(), fromLines.GetMessages());
    EXPECT_EQ(2, fromLines.GetRecordCount());

    // Lines given as a list are not cut again: a CR at the end is one more ignored character.
    ASSERT_TRUE(fromLines.ParseLines({"S1070100AABBCCDDE9\r"}));
    EXPECT_EQ(1, fromLines.GetRecordCount());
}

TEST(SRECReaderTest, StopsAtTheFirstLineThatDoesNotStartWithS) {
    struct Case {
        std::string text;
        int records;
    };
    const Case cases[] = {
        {"s1070100AABBCCDDE9\n", 0},
        {" S1070100AABBCCDDE9\n", 0},
        {"\xEF\xBB\xBFS1070100AABBCCDDE9\n", 0},
        {"This is not an S-record file.\nS1070100AABBCCDDE9\n", 0},
        {"S1070100AABBCCDDE9\n:10010000\nS1070200AABBCCDDE8\n", 1},
    };
    for (const Case& c : cases) {
        SRECReader reader;
        ASSERT_TRUE(ParseText(reader, "S1070300AABBCCDDE7\n"));
        EXPECT_TRUE(ParseText(reader, c.text)) << c.text;
        EXPECT_EQ(c.records, reader.GetRecordCount()) << c.text;
        EXPECT_EQ(c.records == 0 ? 0 : 7, reader.GetDataByteCount()) << c.text;
        EXPECT_EQ(c.records == 0 ? 0u : 0x107u, reader.endAddress()) << c.text;
        // The stop ends the parse before the empty piece behind the last line.
        EXPECT_STREQ("", reader.GetMessages()) << c.text;
    }
}

struct SkippedCase {
    const char* name;
    std::string line;
    std::string message;
};

class SkippedLineTest : public testing::TestWithParam<SkippedCase> {};

TEST_P(SkippedLineTest, StoresNoRecordAndGoesOn) {
    const SkippedCase& c = GetParam();
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, "S1040100AABB\n" + c.line + "\nS1040200CCDD"));
    ASSERT_EQ(2, reader.GetRecordCount());
    EXPECT_EQ(0x0100u, reader.GetRecord(0)->address);
    EXPECT_EQ(0x0200u, reader.GetRecord(1)->address);
    EXPECT_EQ(0x204u, reader.endAddress());
    EXPECT_EQ(8, reader.GetDataByteCount());
    EXPECT_EQ(1u, reader.lastIndex());
    EXPECT_EQ(c.message, reader.GetMessages());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SkippedLineTest,
    testing::Values(
        SkippedCase{"SixCharacters", "S10701", NotEnough(1, 6)},
        SkippedCase{"JustS", "S", NotEnough(1, 1)},
        SkippedCase{"CountBeyondTheLine", "S1070100AABBCCDD", ""},
        SkippedCase{"CountFarBeyondTheLine", "S1FF0100AABBCCDDE9", ""},
        SkippedCase{"CountZero", "S1000100AABBCCDDE9", ""},
        SkippedCase{"CountNotHex", "S1ZZ0100AABBCCDDE9", ""},
        SkippedCase{"CountNegative", "S1-10100AABBCCDDE9", ""},
        SkippedCase{"S1CountCoversNoAddress", "S1010000",
                    "Line 1 has a count too small to read as SRECORD = 1"},
        SkippedCase{"S1CountCoversNoChecksum", "S1020000",
                    "Line 1 has a count too small to read as SRECORD = 2"},
        SkippedCase{"S2CountCoversNoChecksum", "S20300000000",
                    "Line 1 has a count too small to read as SRECORD = 3"},
        SkippedCase{"S3CountCoversNoChecksum", "S3040000000000",
                    "Line 1 has a count too small to read as SRECORD = 4"},
        SkippedCase{"S9CountCoversNoChecksum", "S9020000",
                    "Line 1 has a count too small to read as SRECORD = 2"},
        SkippedCase{"S3EndingPastTheLastAddress", "S315FFFFFFF0" + std::string(34, '0'),
                    "Line 1 runs past the last address to read as SRECORD = 0xFFFFFFF0"},
        SkippedCase{"S3EndingJustPastTheLastAddress", "S305FFFFFFFB00",
                    "Line 1 runs past the last address to read as SRECORD = 0xFFFFFFFB"},
        SkippedCase{"S3WithANegativeAddress", "S305-000000100",
                    "Line 1 runs past the last address to read as SRECORD = 0xFFFFFFFF"}),
    [](const testing::TestParamInfo<SkippedCase>& param) { return std::string(param.param.name); });

TEST(SRECReaderTest, KeepsARecordEndingAtTheLastAddress) {
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, "S1040100AABB\nS305FFFFFFFA00\n"));
    ASSERT_EQ(2, reader.GetRecordCount());
    EXPECT_EQ(0xFFFFFFFFu, reader.endAddress());
    EXPECT_EQ(1u, reader.lastIndex());
}

TEST(SRECReaderTest, SummaryIndicesFollowTheRecordTypes) {
    SRECReader reader;
    // Index 0: S0; 1: S5; 2, 3: data; 4: a type below '0'; 5: S9.
    ASSERT_TRUE(ParseText(reader,
                          "S0030000FC\nS5030002FA\nS1040100AABB\nS2050200001122\n"
                          "S!030000FC\nS9030100FB"));
    ASSERT_EQ(6, reader.GetRecordCount());
    EXPECT_EQ(1u, reader.firstIndex());
    EXPECT_EQ(3u, reader.lastIndex());
    EXPECT_EQ('!' - '0', reader.GetRecord(4)->type);
    EXPECT_EQ(0x20005u, reader.endAddress());
    EXPECT_EQ(4 + 5, reader.GetDataByteCount());

    // Only headers: both indices stay 0 and the range stays empty.
    ASSERT_TRUE(ParseText(reader, "S0030000FC\nS0030000FC"));
    EXPECT_EQ(0u, reader.firstIndex());
    EXPECT_EQ(0u, reader.lastIndex());
    EXPECT_EQ(0u, reader.endAddress());
    EXPECT_EQ(0, reader.GetDataByteCount());
}

TEST(SRECReaderTest, ATypeByteAbove7FIsNegativeOnEveryPlatform) {
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader,
                          "S\xB1"
                          "030000FC\nS1040100AABB"));
    ASSERT_EQ(2, reader.GetRecordCount());
    EXPECT_EQ(static_cast<signed char>('\xB1') - '0', reader.GetRecord(0)->type);
    EXPECT_LT(reader.GetRecord(0)->type, 0);
    EXPECT_EQ(1u, reader.firstIndex());
}

TEST(SRECReaderTest, CountsTheCountFieldOfEveryDataLineWhateverItsLength) {
    std::string text;
    for (int line = 0; line < 4; ++line) {
        char header[16];
        std::snprintf(header, sizeof(header), "S113%04X", 0x1000 + 16 * line);
        text += header + std::string(32, 'C') + "00\r\n";
    }
    // One line of 64 data bytes counts its 67 like any other.
    text += WithChecksum("S1431040" + std::string(128, 'D')) + "\r\n";
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, text));
    ASSERT_EQ(5, reader.GetRecordCount());
    EXPECT_EQ(4 * 19 + 67, reader.GetDataByteCount());
    EXPECT_EQ(0u, reader.startAddress());
    EXPECT_EQ(0x1040u + 0x43u, reader.endAddress());
    EXPECT_EQ(Bytes(64, 0xDD), DataOf(*reader.GetRecord(4), 64));
}

TEST(SRECReaderTest, ASecondParseReplacesTheFirst) {
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, "S0030000FC\r\nS2080200000000000000\r\nS1\r\nS9030000FC\r\n"));
    ASSERT_TRUE(ParseText(reader, "S1040100AABB\nS1040110CCDD"));
    EXPECT_EQ(2, reader.GetRecordCount());
    EXPECT_EQ(8, reader.GetDataByteCount());
    EXPECT_EQ(0u, reader.firstIndex());
    EXPECT_EQ(1u, reader.lastIndex());
    EXPECT_EQ(0x114u, reader.endAddress());
    EXPECT_STREQ("", reader.GetMessages());
    EXPECT_EQ(nullptr, reader.GetRecord(2));

    EXPECT_TRUE(reader.Clear());
    EXPECT_EQ(0, reader.GetRecordCount());
    EXPECT_EQ(0u, reader.lastIndex());
    EXPECT_EQ(0u, reader.endAddress());
}

TEST(SRECReaderTest, ReadsEveryFieldAsTheHexScanDoes) {
    // Each two-character field of these characters, read as a data byte, against the C library.
    const std::string alphabet = "09aFgxX+- \t\v";
    for (char first : alphabet) {
        for (char second : alphabet) {
            const std::string field = {first, second};
            unsigned expected = 0;
            std::sscanf(field.c_str(), "%X", &expected);
            SRECReader reader;
            ASSERT_TRUE(ParseText(reader, "S1040100" + field + "00"));
            ASSERT_EQ(1, reader.GetRecordCount()) << field;
            EXPECT_EQ(static_cast<uint8_t>(expected), reader.GetRecord(0)->data[0]) << field;
        }
    }
    const char* addresses[] = {"0000ABCD", "0x00ABCD", " \t12345 ", "+0000010", "zz000000",
                               "123g4567", "0X0000FF", "00000000",  "   +0x1F"};
    for (const char* address : addresses) {
        unsigned expected = 0;
        std::sscanf(address, "%X", &expected);
        SRECReader reader;
        ASSERT_TRUE(ParseText(reader, std::string("S305") + address + "00"));
        ASSERT_EQ(1, reader.GetRecordCount()) << address;
        EXPECT_EQ(expected, reader.GetRecord(0)->address) << address;
    }
}

TEST(SRECReaderTest, AZeroByteInTheTextIsAnOrdinaryCharacter) {
    const std::string text("S1070100AA\0BCCDDE9 \0\nS1\0\n", 25);
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, text));
    ASSERT_EQ(1, reader.GetRecordCount());
    EXPECT_EQ((Bytes{0xAA, 0x00, 0xCC, 0xDD}), DataOf(*reader.GetRecord(0), 4));
    EXPECT_EQ(0xE9, reader.GetRecord(0)->checksum);
    EXPECT_EQ(NotEnough(1, 3) + NotEnough(2, 0), reader.GetMessages());
}

TEST(SRECReaderTest, LoadFileFailsForWhatCannotBeReadAndKeepsWhatWasRead) {
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, "S1070100AABBCCDDE9"));
    EXPECT_FALSE(reader.LoadFile(VELMORA_SREC_SAMPLES "/no-such-file.mot"));
    EXPECT_FALSE(reader.LoadFile(VELMORA_SREC_SAMPLES));
    EXPECT_FALSE(reader.LoadFile(nullptr));
    EXPECT_EQ(1, reader.GetRecordCount());
}

Bytes ReadBinary(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

struct SampleCase {
    const char* name;
    uint32_t imageBase;  // the address of the first byte of the .bin image
    int records;
    uint32_t firstIndex;
    uint32_t lastIndex;
    int byteTotal;
    int overheadBytes;  // address and checksum bytes of each data line
    std::string messages;
};

class SampleFileTest : public testing::TestWithParam<SampleCase> {};

// Lays the records out as the programming step does and compares the image with srec_cat's.
TEST_P(SampleFileTest, MatchesTheImageOfTheToolsThatMadeIt) {
    const SampleCase& c = GetParam();
    const std::string path = std::string(VELMORA_SREC_SAMPLES) + "/" + c.name;
    const Bytes expected = ReadBinary(path + ".bin");
    ASSERT_FALSE(expected.empty()) << path;

    SRECReader reader;
    ASSERT_TRUE(reader.LoadFile((path + ".mot").c_str()));
    EXPECT_EQ(c.records, reader.GetRecordCount());
    EXPECT_EQ(c.firstIndex, reader.firstIndex());
    EXPECT_EQ(c.lastIndex, reader.lastIndex());
    EXPECT_EQ(c.byteTotal, reader.GetDataByteCount());
    EXPECT_EQ(0u, reader.startAddress());
    EXPECT_EQ(c.imageBase + expected.size() + c.overheadBytes, reader.endAddress());
    EXPECT_EQ(c.messages, reader.GetMessages());

    ASSERT_GE(reader.endAddress(), c.imageBase);
    Bytes image(reader.endAddress() - c.imageBase, 0xFF);
    for (uint32_t i = reader.firstIndex(); i <= reader.lastIndex(); ++i) {
        const SRecord* record = reader.GetRecord(i);
        ASSERT_NE(nullptr, record);
        ASSERT_EQ(c.overheadBytes - 2, record->type) << i;
        const int dataBytes = record->count - c.overheadBytes;
        ASSERT_GE(record->address, c.imageBase);
        ASSERT_LE(record->address - c.imageBase + dataBytes, image.size());
        std::copy(record->data, record->data + dataBytes,
                  image.begin() + (record->address - c.imageBase));
    }
    EXPECT_EQ(expected, Bytes(image.begin(), image.begin() + expected.size()));
    EXPECT_EQ(Bytes(c.overheadBytes, 0xFF), Bytes(image.begin() + expected.size(), image.end()));
}

std::string CrLfMessages(int lines) {
    std::string messages;
    for (int line = 1; line < 2 * lines; line += 2) {
        messages += NotEnough(line, 0);
    }
    return messages + NotEnough(2 * lines, 0);
}

// The counts follow from the script: 600 + 200 bytes in 16-byte lines (38 + 13 lines), 500 bytes
// in 32-byte lines (16), 1000 bytes in 64-byte lines (16) and in 32-byte lines (32); S0 first, S5
// and S7 to S9 last.
// objcopy ends its lines with CR LF as srec_cat does when asked.
INSTANTIATE_TEST_SUITE_P(
    Samples, SampleFileTest,
    testing::Values(
        SampleCase{"two-blocks-s1", 0, 54, 1, 51, 800 + 51 * 3, 3, NotEnough(54, 0)},
        SampleCase{"odd-start-s2-crlf", 0x012000, 19, 1, 16, 500 + 16 * 4, 4, CrLfMessages(19)},
        SampleCase{"long-lines-s3", 0x07FC00, 19, 1, 16, 1000 + 16 * 5, 5, NotEnough(19, 0)},
        SampleCase{"objcopy-s3", 0x20000000, 34, 1, 32, 1000 + 32 * 5, 5, CrLfMessages(34)}),
    [](const testing::TestParamInfo<SampleCase>& param) {
        std::string name = param.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

}  // namespace
