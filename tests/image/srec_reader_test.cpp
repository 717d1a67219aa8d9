// SRECReader: fields of each line type up to the longest lines, line breaks and diagnostics, the
// texts it refuses and where, the texts it still accepts, and files made by srec_cat and objcopy.
#include "image/srec_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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
    ASSERT_TRUE(ParseText(reader, c.line)) << reader.GetRefusal();
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
    EXPECT_STREQ("", reader.GetRefusal());
    EXPECT_EQ(nullptr, reader.GetRecord(1));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SingleLineTest,
    testing::Values(
        LineCase{"S1070100AABBCCDDE9", 1, 7, 0x0100, {0xAA, 0xBB, 0xCC, 0xDD}, 0xE9, 0x107, 7},
        LineCase{"S208010000112233444C", 2, 8, 0x10000, {0x11, 0x22, 0x33, 0x44}, 0x4C, 0x10008, 8},
        LineCase{"S3090007ABCD010203046D", 3, 9, 0x7ABCD, {1, 2, 3, 4}, 0x6D, 0x7ABD6, 9},
        // A termination line: no address is stored, the checksum is the byte after the count.
        LineCase{"S9030000FC", 9, 3, 0, {}, 0x00, 0, 0},
        // A count record with a 3-byte address, stored as the other types are.
        LineCase{"S604000000FB", 6, 4, 0, {0x00}, 0x00, 0, 0},
        // Lower-case digits, and characters after the checksum that are ignored.
        LineCase{
            "S1070a0faabbccddd1 ; tail", 1, 7, 0x0A0F, {0xAA, 0xBB, 0xCC, 0xDD}, 0xD1, 0x0A16, 7},
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
    EXPECT_STREQ("", reader.GetRefusal());
}

TEST(SRECReaderTest, ParsesOnlyTheBytesItIsGiven) {
    // The buffer goes on past size: nothing after it may be read as part of the line.
    const char text[] = "S1070100AABBCCDDE9S1070200AABBCCDDE8";
    SRECReader reader;
    ASSERT_TRUE(reader.Parse(text, 18));
    EXPECT_EQ(1, reader.GetRecordCount());
    EXPECT_EQ(0xE9, reader.GetRecord(0)->checksum);

    // Cut inside the checksum, the count asks for more than is there.
    EXPECT_FALSE(reader.Parse(text, 17));
    EXPECT_STREQ(
        "ERROR : line 1: not an S-record: its count 0x07 needs 18 characters, the line has 17\r\n",
        reader.GetRefusal());
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
    const std::string text = "S0030000FC\r\n\r\nS1070100AABBCCDDE9\rs1070100AABBCCDDE9\n";
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

    // Each entry is a line of its own, so an empty one counts too.
    EXPECT_FALSE(fromLines.ParseLines({"S1070100AABBCCDDE9", "", "S1070200AABBCCDDE9"}));
    EXPECT_STREQ("ERROR : line 3: checksum mismatch: its bytes add up to 0x00, not 0xFF\r\n",
                 fromLines.GetRefusal());
    EXPECT_EQ(1, fromLines.GetRecordCount());
}

struct RefusedCase {
    const char* name;
    std::string text;
    std::string refusal;  // without "ERROR : " and the line end
};

class RefusedTextTest : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedTextTest, FailsNamesTheLineAndKeepsWhatWasRead) {
    const RefusedCase& c = GetParam();
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, "S0030000FC\r\nS1070100AABBCCDDE9\r\n"));
    const std::string messages = reader.GetMessages();

    EXPECT_FALSE(ParseText(reader, c.text));
    EXPECT_EQ("ERROR : " + c.refusal + "\r\n", reader.GetRefusal());

    ASSERT_EQ(2, reader.GetRecordCount());
    EXPECT_EQ(0x0100u, reader.GetRecord(1)->address);
    EXPECT_EQ(1u, reader.firstIndex());
    EXPECT_EQ(1u, reader.lastIndex());
    EXPECT_EQ(0x107u, reader.endAddress());
    EXPECT_EQ(7, reader.GetDataByteCount());
    EXPECT_EQ(messages, reader.GetMessages());

    // The next call that is not refused clears the reason.
    EXPECT_TRUE(ParseText(reader, "S9030000FC"));
    EXPECT_STREQ("", reader.GetRefusal());
}

const char kOutsideTheUserMat[] = " lies outside the 524288-byte user MAT";

INSTANTIATE_TEST_SUITE_P(
    Texts, RefusedTextTest,
    testing::Values(
        // Malformed lines that begin with "S".
        RefusedCase{"SixCharacters", "S1070100AABBCCDDE9\nS10701\n",
                    "line 2: not an S-record: shorter than 7 characters"},
        RefusedCase{"TypeALetter", "SA0501020304F0",
                    "line 1: not an S-record: the type is not a digit"},
        RefusedCase{"CountNotHex", "S1ZZ0100AABBCCDDE9",
                    "line 1: not an S-record: the count field is not hexadecimal"},
        RefusedCase{"CountZero", "S1000100AABBCCDDE9",
                    "line 1: not an S-record: its count 0x00 does not cover its 2 address bytes "
                    "and checksum"},
        RefusedCase{"S1CountCoversNoChecksum", "S1020000",
                    "line 1: not an S-record: its count 0x02 does not cover its 2 address bytes "
                    "and checksum"},
        RefusedCase{"S2CountCoversNoChecksum", "S20300000000",
                    "line 1: not an S-record: its count 0x03 does not cover its 3 address bytes "
                    "and checksum"},
        RefusedCase{"S3CountCoversNoChecksum", "S3040000000000",
                    "line 1: not an S-record: its count 0x04 does not cover its 4 address bytes "
                    "and checksum"},
        RefusedCase{"S8CountCoversNoChecksum", "S803000000FC",
                    "line 1: not an S-record: its count 0x03 does not cover its 3 address bytes "
                    "and checksum"},
        RefusedCase{"CountBeyondTheLine", "S1070100AABBCCDD",
                    "line 1: not an S-record: its count 0x07 needs 18 characters, the line has 16"},
        RefusedCase{"LargestCountBeyondTheLine", "S1FF0100AABBCCDDE9",
                    "line 1: not an S-record: its count 0xFF needs 514 characters, the line has "
                    "18"},
        RefusedCase{"AddressNotHex", "S1070G00AABBCCDDE9",
                    "line 1: not an S-record: the address field is not hexadecimal"},
        RefusedCase{"AddressWithAPrefix", "S3090x00ABCD01020304FF",
                    "line 1: not an S-record: the address field is not hexadecimal"},
        RefusedCase{"S8AddressOfThreeBytes", "S8040000G0FB",
                    "line 1: not an S-record: the address field is not hexadecimal"},
        RefusedCase{"DataNotHex", "S1070100AABBCCDZE9",
                    "line 1: not an S-record: the data field is not hexadecimal"},
        RefusedCase{"DataWithAZeroByte", std::string("S1070100AA\0BCCDDE9", 18),
                    "line 1: not an S-record: the data field is not hexadecimal"},
        RefusedCase{"ChecksumNotHex", "S1070100AABBCCDDEG",
                    "line 1: not an S-record: the checksum field is not hexadecimal"},
        // Checksums, over the bytes as the format lays them out, a termination line's address too.
        RefusedCase{"S1ChecksumOffByOne", "S1070100AABBCCDDE8",
                    "line 1: checksum mismatch: its bytes add up to 0xFE, not 0xFF"},
        RefusedCase{"S9ChecksumCoversItsAddress", "S903FC00FC",
                    "line 1: checksum mismatch: its bytes add up to 0xFB, not 0xFF"},
        RefusedCase{"LongLineChecksum", "S1430000" + Hex(Counting(64, 3)) + "00",
                    "line 1: checksum mismatch: its bytes add up to 0x23, not 0xFF"},
        // Records past the line where the records end.
        RefusedCase{"RecordAfterABlankLookingLine", "S1070100AABBCCDDE9\n \nS1070200AABBCCDDE8\n",
                    "line 3: S-record after line 2, which is not one and ends the records"},
        RefusedCase{"RecordsBehindAByteOrderMark",
                    "\xEF\xBB\xBFS1070100AABBCCDDE9\nS1070200AABBCCDDE8\n",
                    "line 2: S-record after line 1, which is not one and ends the records"},
        RefusedCase{"LowerCaseRecordInTheMiddle",
                    "S1070100AABBCCDDE9\ns1070200aabbccdde8\n\nS1070300AABBCCDDE7\n",
                    "line 4: S-record after line 2, which is not one and ends the records"},
        // Lines are counted as the file has them: LF, CR LF and a lone CR each end one.
        RefusedCase{"CrLfLines",
                    "S1070100AABBCCDDE9\r\nS1070200AABBCCDDE8\r\nS1070300AABBCCDDE6\r\n",
                    "line 3: checksum mismatch: its bytes add up to 0xFE, not 0xFF"},
        RefusedCase{"LoneCrLines", "S1070100AABBCCDDE9\rS1070200AABBCCDDE8\rS1070300AABBCCDDE6\r",
                    "line 3: checksum mismatch: its bytes add up to 0xFE, not 0xFF"},
        RefusedCase{"LfThenCrAreTwoLines", "S1070100AABBCCDDE9\n\rS1070300AABBCCDDE6",
                    "line 3: checksum mismatch: its bytes add up to 0xFE, not 0xFF"},
        RefusedCase{"FirstProblemInTheFile", "S1070100AABBCCDDE8\nS1ZZ\nS\n",
                    "line 1: checksum mismatch: its bytes add up to 0xFE, not 0xFF"},
        // Data that would not reach the user MAT.
        RefusedCase{"OneBytePastTheUserMat", "S0030000FC\nS20907FFFC0102030405E5\n",
                    "line 2: data at 0x0007FFFC-0x00080000" + std::string(kOutsideTheUserMat)},
        RefusedCase{"PastFourGiB", WithChecksum("S315FFFFFFF8" + Hex(Counting(16, 1))),
                    "line 1: data at 0xFFFFFFF8-0x100000007" + std::string(kOutsideTheUserMat)},
        RefusedCase{"NoDataPastTheUserMat", "S30500080001F1",
                    "line 1: address 0x00080001" + std::string(kOutsideTheUserMat)},
        // Record counts that disagree with the data records before them: lost lines, joined files.
        RefusedCase{"CountRecordOverALostLine",
                    "S0030000FC\nS1070100AABBCCDDE9\nS5030002FA\nS9030000FC\n",
                    "line 3: record count mismatch: the S5 record counts 2 data records, 1 come "
                    "before it"},
        RefusedCase{"JoinedFiles",
                    "S1070100AABBCCDDE9\nS5030001FB\nS9030000FC\n"
                    "S1070200AABBCCDDE8\nS5030001FB\nS9030000FC\n",
                    "line 5: record count mismatch: the S5 record counts 1 data records, 2 come "
                    "before it"},
        RefusedCase{"TwentyFourBitCount", "S1070100AABBCCDDE9\nS604010000FA\n",
                    "line 2: record count mismatch: the S6 record counts 65536 data records, 1 "
                    "come before it"}),
    [](const testing::TestParamInfo<RefusedCase>& param) { return std::string(param.param.name); });

struct AcceptedCase {
    const char* name;
    std::string text;
    int records;
    int byteTotal;
    uint32_t endAddress;
    std::string messages;
};

class AcceptedTextTest : public testing::TestWithParam<AcceptedCase> {};

TEST_P(AcceptedTextTest, LoadsWhatItHolds) {
    const AcceptedCase& c = GetParam();
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, "S1070300AABBCCDDE7\n"));
    EXPECT_TRUE(ParseText(reader, c.text)) << reader.GetRefusal();
    EXPECT_STREQ("", reader.GetRefusal());
    EXPECT_EQ(c.records, reader.GetRecordCount());
    EXPECT_EQ(c.byteTotal, reader.GetDataByteCount());
    EXPECT_EQ(c.endAddress, reader.endAddress());
    EXPECT_EQ(c.messages, reader.GetMessages());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AcceptedTextTest,
    testing::Values(
        AcceptedCase{"TextAfterTheLastRecord",
                     "S1070100AABBCCDDE9\nS9030000FC\n; built by hand\nnotes: see notes.txt\x1A", 2,
                     7, 0x107, ""},
        AcceptedCase{"BlankLookingLastLine", "S1070100AABBCCDDE9\n \t\n\n", 1, 7, 0x107, ""},
        AcceptedCase{"NoSRecordLine", "This is not an S-record file.\nNothing here is.\n", 0, 0, 0,
                     ""},
        AcceptedCase{"LowerCaseFirstLine", "s1070100AABBCCDDE9\n", 0, 0, 0, ""},
        AcceptedCase{"MixedLineBreaks", "S1070100AABBCCDDE9\rS1070200AABBCCDDE8\r\nS9030000FC\n", 3,
                     14, 0x207, NotEnough(2, 0) + NotEnough(4, 0)},
        AcceptedCase{"LongLinesAmongShortOnes",
                     "S1070100AABBCCDDE9\n" + WithChecksum("S1430200" + std::string(128, 'E')) +
                         "\n" + WithChecksum("S2FF010000" + std::string(502, 'F')) + "\n",
                     3, 7 + 0x43 + 0xFF, 0x100FF, NotEnough(3, 0)},
        AcceptedCase{"DataUpToTheLastByteOfTheUserMat",
                     "S3150007FFF0000102030405060708090A0B0C0D0E0F7C", 1, 0x15, 0x80005, ""},
        AcceptedCase{"NoDataAtTheEndOfTheUserMat", "S30500080000F2", 1, 5, 0x80005, ""},
        AcceptedCase{"CountRecordsThatAgree",
                     "S0030000FC\nS1070100AABBCCDDE9\nS5030001FB\nS1070200AABBCCDDE8\n"
                     "S604000002F9\nS9030000FC",
                     6, 14, 0x207, ""},
        AcceptedCase{"NeitherCountNorTermination", "S1070100AABBCCDDE9\nS1070200AABBCCDDE8", 2, 14,
                     0x207, ""}),
    [](const testing::TestParamInfo<AcceptedCase>& param) {
        return std::string(param.param.name);
    });

struct FirmwareDataCase {
    const char* name;
    std::string text;
    bool holdsData;
};

class FirmwareDataTest : public testing::TestWithParam<FirmwareDataCase> {};

// Texts that load, of which only some give the flash anything: the others were given by mistake.
TEST_P(FirmwareDataTest, TellsWhetherThereIsAnythingToProgram) {
    const FirmwareDataCase& c = GetParam();
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, c.text)) << reader.GetRefusal();
    EXPECT_EQ(c.holdsData, HoldsFirmwareData(reader));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FirmwareDataTest,
    testing::Values(FirmwareDataCase{"PlainText", "Release notes\nversion 2\n", false},
                    FirmwareDataCase{"IntelHex",
                                     ":10010000214601360121470136007EFE09D2190140\n:00000001FF\n",
                                     false},
                    FirmwareDataCase{"Binary",
                                     std::string("\x7F"
                                                 "ELF\x01\x01\x00\xFFS1",
                                                 10),
                                     false},
                    FirmwareDataCase{"HeaderAndTerminationOnly", "S0030000FC\nS9030000FC\n", false},
                    FirmwareDataCase{"DataRecordWithoutData", "S1030100FB\nS9030000FC\n", false},
                    FirmwareDataCase{"OneDataByte", "S1040100AA50\n", true}),
    [](const testing::TestParamInfo<FirmwareDataCase>& param) {
        return std::string(param.param.name);
    });

struct EndingCase {
    const char* name;
    std::string text;
    std::string refusal;  // empty: the records end as every tool ends them
};

class RecordEndingTest : public testing::TestWithParam<EndingCase> {};

// A file cut at a line's end still parses; only its last record tells.
TEST_P(RecordEndingTest, NamesTheLastLineOfRecordsThatEndWithoutACountOrTermination) {
    const EndingCase& c = GetParam();
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, c.text)) << reader.GetRefusal();
    EXPECT_EQ(c.refusal, UnterminatedRecords(reader));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RecordEndingTest,
    testing::Values(
        EndingCase{"Termination", "S1040100AA50\nS9030000FC\n", ""},
        EndingCase{"CountLast", "S1040100AA50\nS5030001FB\n", ""},
        EndingCase{"NoRecords", "Release notes\n", ""},
        EndingCase{"CutAfterData", "S00600004844521B\nS1040100AA50\n\nnotes\n",
                   "line 2: the records end with an S1 record, without a count record (S5, S6) "
                   "or a termination record (S7, S8, S9): the file may be cut short"},
        EndingCase{"DataAfterTermination", "S9030000FC\nS1040100AA50\n",
                   "line 2: the records end with an S1 record, without a count record (S5, S6) "
                   "or a termination record (S7, S8, S9): the file may be cut short"}),
    [](const testing::TestParamInfo<EndingCase>& param) { return std::string(param.param.name); });

// The pieces that the overlap rule and the image take: only data records that carry data, each
// named by its line of the text as refusals count them.
TEST(SRECReaderTest, GivesEachDataRecordWithDataAsAPieceNamedByItsLine) {
    const std::string text =
        "S00600004844521B\r\n\r\nS1070100AABBCCDDE9\r\nS1030100FB\r\nS9030000FC\r\n"
        "S1070100AABBCCDDE9\r\n";
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, text)) << reader.GetRefusal();
    const std::vector<DataPiece> pieces = reader.DataPieces();
    ASSERT_EQ(2u, pieces.size());
    EXPECT_EQ("line 3", pieces[0].origin);
    EXPECT_EQ("line 6", pieces[1].origin);
    EXPECT_EQ(0x100u, pieces[1].address);
    EXPECT_EQ((Bytes{0xAA, 0xBB, 0xCC, 0xDD}), pieces[1].bytes);
    EXPECT_EQ(1u, reader.GetRecordLine(0));
    EXPECT_EQ(0u, reader.GetRecordLine(5));
}

TEST(SRECReaderTest, SummaryIndicesFollowTheRecordTypes) {
    SRECReader reader;
    // Index 0: S0; 1: S5; 2, 3: data; 4: another S0; 5: S9.
    ASSERT_TRUE(ParseText(reader,
                          "S0030000FC\nS5030000FC\nS1040100AA50\nS20502000011E7\n"
                          "S0030000FC\nS9030100FB"));
    ASSERT_EQ(6, reader.GetRecordCount());
    EXPECT_EQ(1u, reader.firstIndex());
    EXPECT_EQ(3u, reader.lastIndex());
    EXPECT_EQ(0x20005u, reader.endAddress());
    EXPECT_EQ(4 + 5, reader.GetDataByteCount());

    // Only headers: both indices stay 0 and the range stays empty.
    ASSERT_TRUE(ParseText(reader, "S0030000FC\nS0030000FC"));
    EXPECT_EQ(0u, reader.firstIndex());
    EXPECT_EQ(0u, reader.lastIndex());
    EXPECT_EQ(0u, reader.endAddress());
    EXPECT_EQ(0, reader.GetDataByteCount());
}

TEST(SRECReaderTest, CountsTheCountFieldOfEveryDataLineWhateverItsLength) {
    std::string text;
    for (int line = 0; line < 4; ++line) {
        char header[16];
        std::snprintf(header, sizeof(header), "S113%04X", 0x1000 + 16 * line);
        text += WithChecksum(header + std::string(32, 'C')) + "\r\n";
    }
    // One line of 64 data bytes counts its 67 like any other.
    text += WithChecksum("S1431040" + std::string(128, 'D')) + "\r\n";
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, text)) << reader.GetRefusal();
    ASSERT_EQ(5, reader.GetRecordCount());
    EXPECT_EQ(4 * 19 + 67, reader.GetDataByteCount());
    EXPECT_EQ(0u, reader.startAddress());
    EXPECT_EQ(0x1040u + 0x43u, reader.endAddress());
    EXPECT_EQ(Bytes(64, 0xDD), DataOf(*reader.GetRecord(4), 64));
}

TEST(SRECReaderTest, ASecondParseReplacesTheFirst) {
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, "S0030000FC\r\nS20802000000000000F5\r\n\r\nS9030000FC\r\n"));
    ASSERT_TRUE(ParseText(reader, "S1040100AA50\nS1040110CC1E"));
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

TEST(SRECReaderTest, ReadsHexadecimalDigitsOfEitherCaseAndRefusesOtherCharacters) {
    // Each two-character field of these characters, read as a data byte.
    const std::string alphabet = "09aFgxX+- \t\v";
    for (char first : alphabet) {
        for (char second : alphabet) {
            const std::string field = {first, second};
            const bool hex = std::isxdigit(static_cast<unsigned char>(first)) &&
                             std::isxdigit(static_cast<unsigned char>(second));
            SRECReader reader;
            const std::string line = "S1040100" + field;
            const std::string text = hex ? WithChecksum(line) : line + "00";
            ASSERT_EQ(hex, ParseText(reader, text)) << field;
            if (hex) {
                unsigned expected = 0;
                std::sscanf(field.c_str(), "%X", &expected);
                ASSERT_EQ(1, reader.GetRecordCount()) << field;
                EXPECT_EQ(static_cast<uint8_t>(expected), reader.GetRecord(0)->data[0]) << field;
            } else {
                EXPECT_STREQ(
                    "ERROR : line 1: not an S-record: the data field is not hexadecimal\r\n",
                    reader.GetRefusal())
                    << field;
            }
        }
    }
}

TEST(SRECReaderTest, AZeroByteAfterTheChecksumIsAnIgnoredCharacter) {
    const std::string text("S1070100AABBCCDDE9 \0\n\n", 22);
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, text));
    ASSERT_EQ(1, reader.GetRecordCount());
    EXPECT_EQ((Bytes{0xAA, 0xBB, 0xCC, 0xDD}), DataOf(*reader.GetRecord(0), 4));
    EXPECT_EQ(NotEnough(1, 0) + NotEnough(2, 0), reader.GetMessages());
}

TEST(SRECReaderTest, LoadFileFailsForWhatCannotBeReadAndKeepsWhatWasRead) {
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, "S1070100AABBCCDDE9"));
    EXPECT_FALSE(reader.LoadFile(VELMORA_SREC_SAMPLES "/no-such-file.mot"));
    EXPECT_FALSE(reader.LoadFile(VELMORA_SREC_SAMPLES));
    EXPECT_FALSE(reader.LoadFile(nullptr));
    EXPECT_EQ(1, reader.GetRecordCount());
    EXPECT_STREQ("", reader.GetRefusal());
}

// objcopy's sample lies at 0x20000000, far from the user MAT: refused at its first data line.
TEST(SRECReaderTest, LoadFileRefusesAFileOutsideTheUserMatAsParseDoes) {
    SRECReader reader;
    ASSERT_TRUE(ParseText(reader, "S1070100AABBCCDDE9"));
    EXPECT_FALSE(reader.LoadFile(VELMORA_SREC_SAMPLES "/objcopy-s3.mot"));
    EXPECT_STREQ(
        "ERROR : line 2: data at 0x20000000-0x2000001F lies outside the 524288-byte user MAT\r\n",
        reader.GetRefusal());
    EXPECT_EQ(1, reader.GetRecordCount());
    EXPECT_EQ(0x107u, reader.endAddress());
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
    ASSERT_TRUE(reader.LoadFile((path + ".mot").c_str())) << reader.GetRefusal();
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
// in 32-byte lines (16), 1000 bytes in 64-byte lines (16); S0 first, S5 and S7 to S9 last.
INSTANTIATE_TEST_SUITE_P(Samples, SampleFileTest,
                         testing::Values(SampleCase{"two-blocks-s1", 0, 54, 1, 51, 800 + 51 * 3, 3,
                                                    NotEnough(54, 0)},
                                         SampleCase{"odd-start-s2-crlf", 0x012000, 19, 1, 16,
                                                    500 + 16 * 4, 4, CrLfMessages(19)},
                                         SampleCase{"long-lines-s3", 0x07FC00, 19, 1, 16,
                                                    1000 + 16 * 5, 5, NotEnough(19, 0)}),
                         [](const testing::TestParamInfo<SampleCase>& param) {
                             std::string name = param.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
