// The flash image laid out from firmware files: real samples in every format, blocks, the user
// MAT's last byte, and where the data lies for the check against the board's user MAT.
#include "bootmode/firmware_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "image/firmware_format.h"
#include "image/srec_reader.h"

using Bytes = std::vector<uint8_t>;

namespace {

std::string Sample(const std::string& name) {
    std::ifstream in(std::string(VELMORA_SREC_SAMPLES) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

FirmwareImage Lay(const std::string& text) {
    SRECReader reader;
    EXPECT_TRUE(reader.Parse(text.data(), static_cast<int>(text.size())));
    return LayFirmwareImage(reader);
}

}  // namespace

TEST(FirmwareImage, SamplesLandAtTheirAddressesInWholeBlocksPaddedWithFF) {
    const struct {
        const char* name;
        uint32_t binaryStart;  // where the sample's reference image begins
        size_t blocks;
    } kSamples[] = {
        {"two-blocks-s1", 0x0000, 20},          // data 0x100..0x9C7, ends mid-block
        {"odd-start-s2-crlf", 0x12000, 0x24B},  // data from the odd address 0x12345
        {"long-lines-s3", 0x7FC00, 0x1001},     // 64 bytes a line, up to 0x7FFFF
    };
    for (const auto& sample : kSamples) {
        const FirmwareImage image = Lay(Sample(std::string(sample.name) + ".mot"));
        ASSERT_EQ(image.outcome, ImageOutcome::Built) << sample.name;
        ASSERT_EQ(image.bytes.size(), sample.blocks * 128) << sample.name;
        const std::string binary = Sample(std::string(sample.name) + ".bin");
        Bytes expected(image.bytes.size(), 0xFF);
        std::copy(binary.begin(), binary.end(), expected.begin() + sample.binaryStart);
        EXPECT_EQ(image.bytes, expected) << sample.name;
    }
}

TEST(FirmwareImage, OnlyDataRecordsAreLaid) {
    // A count record (S6 keeps one "data" byte) and a header between two data records: at their
    // address 0 they would overwrite the reset vectors.
    const FirmwareImage image =
        Lay("S1070010AABBCCDDDA\nS604000001FA\nS00600004844521B\nS1070020112233442E\n");
    ASSERT_EQ(image.outcome, ImageOutcome::Built);
    EXPECT_EQ(image.bytes[0], 0xFF);
    EXPECT_EQ(image.bytes[1], 0xFF);
    EXPECT_EQ(image.bytes[0x10], 0xAA);
    EXPECT_EQ(image.bytes[0x23], 0x44);
}

TEST(FirmwareImage, BlockCountFollowsTheEndAddress) {
    const FirmwareImage one = Lay("S105007BAABB1A\n");  // end address 0x80
    ASSERT_EQ(one.outcome, ImageOutcome::Built);
    EXPECT_EQ(one.bytes.size(), 128u);
    EXPECT_EQ(one.bytes[0x7B], 0xAA);
    EXPECT_EQ(Lay("S105007CAABB19\n").bytes.size(), 256u);
}

TEST(FirmwareImage, AFileFillingTheUserMatFitsToItsLastByte) {
    const FirmwareImage image = Lay("S3150007FFF0000102030405060708090A0B0C0D0E0F7C\n");
    ASSERT_EQ(image.outcome, ImageOutcome::Built);
    ASSERT_EQ(image.bytes.size(), kUserMatBytes + 128);
    EXPECT_EQ(image.bytes[kUserMatBytes - 1], 0x0F);
    EXPECT_EQ(image.bytes[kUserMatBytes], 0xFF);
}

// The other formats' images end 5 bytes past their data, as an S3 line's end address does.
TEST(FirmwareImage, PiecesLieAtTheirAddressesLaterOnesOverEarlierOnes) {
    Bytes large(70);
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<uint8_t>(i * 7);
    }
    const std::vector<DataPiece> pieces = {{0x7FFBA, large, "segment 0"},
                                           {0x20, {0x11, 0x22}, "segment 1"},
                                           {0x10, Bytes(16, 0xAA), "segment 2"},
                                           {0x21, {0x33}, "segment 3"},
                                           {0x40, {}, "segment 4"}};
    const FirmwareImage image = LayFirmwareImage(pieces);
    ASSERT_EQ(image.outcome, ImageOutcome::Built);
    EXPECT_EQ(image.requestedSize, kLargestImageSize);
    ASSERT_EQ(image.bytes.size(), kUserMatBytes + 128);
    EXPECT_TRUE(std::equal(large.begin(), large.end(), image.bytes.begin() + 0x7FFBA));
    EXPECT_EQ((Bytes{0xAA, 0xAA, 0x11, 0x33, 0xFF}),
              Bytes(image.bytes.begin() + 0x1E, image.bytes.begin() + 0x23));
    // Touching pieces are one stretch; an empty piece is none.
    ASSERT_EQ(image.data.size(), 2u);
    EXPECT_EQ(image.data[0].first, 0x10u);
    EXPECT_EQ(image.data[0].last, 0x21u);
    EXPECT_EQ(image.data[1].first, 0x7FFBAu);
    EXPECT_EQ(image.data[1].last, kUserMatBytes - 1);

    EXPECT_EQ(LayFirmwareImage(std::vector<DataPiece>{{0x40, {}, "segment 4"}}).outcome,
              ImageOutcome::NoData);
    SRECReader headerOnly;
    ASSERT_TRUE(headerOnly.Parse(Bytes{'S', '0', '0', '3', '0', '0', '0', '0', 'F', 'C'}));
    EXPECT_EQ(LayFirmwareImage(headerOnly).outcome, ImageOutcome::NoData);
}

// One program as S-records, as Intel HEX made from them by srec_cat and as the binary image the
// tools made: the run gets the same blocks whatever the file's format.
TEST(FirmwareImage, EveryFormatOfAProgramLaysTheSameImage) {
    const struct {
        const char* srec;
        const char* hex;
        const char* binary;
        uint32_t binaryStart;
    } kPrograms[] = {
        {"two-blocks-s1.mot", "two-blocks.hex", "two-blocks-s1.bin", 0x0000},
        {"odd-start-s2-crlf.mot", "odd-start-segment.hex", "odd-start-s2-crlf.bin", 0x12000},
        {"long-lines-s3.mot", "long-lines-linear.hex", "long-lines-s3.bin", 0x7FC00},
    };
    for (const auto& program : kPrograms) {
        const FirmwareImage srec = Lay(Sample(program.srec));
        ASSERT_EQ(srec.outcome, ImageOutcome::Built) << program.srec;
        const struct {
            FirmwareFormat format;
            const char* name;
            uint32_t offset;
        } kOthers[] = {{FirmwareFormat::IntelHex, program.hex, 0},
                       {FirmwareFormat::Binary, program.binary, program.binaryStart}};
        for (const auto& other : kOthers) {
            const std::string file = Sample(other.name);
            const PieceRead read = ReadPieces(other.format, file.data(), file.size(), other.offset);
            ASSERT_TRUE(read.accepted) << other.name << ": " << read.refusal;
            const FirmwareImage image = LayFirmwareImage(read.pieces);
            EXPECT_EQ(image.bytes.size(), srec.bytes.size()) << other.name;
            EXPECT_TRUE(image.bytes == srec.bytes) << other.name;
        }
    }
}

TEST(FirmwareImage, DataFitsOnlyWhereTheAreasCoverEveryByte) {
    const FirmwareImage image =
        LayFirmwareImage({{0x0FF0, Bytes(0x20, 0), "line 1"}, {0x2000, {1}, "line 2"}});
    ASSERT_EQ(image.outcome, ImageOutcome::Built);
    const struct {
        const char* what;
        std::vector<FlashArea> areas;
        bool fits;
    } kCases[] = {
        {"one area", {{0, 0x7FFFF}}, true},
        {"adjoining areas, out of order", {{0x1000, 0x3FFFF}, {0, 0xFFF}}, true},
        {"a gap under the data", {{0, 0xFFF}, {0x1001, 0x3FFFF}}, false},
        {"the last byte beyond the areas", {{0, 0x1FFF}}, false},
        {"no areas", {}, false},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(DataLiesWithin(image, c.areas), c.fits) << c.what;
    }
}

// The readers refuse such data already; the image holds its own bounds for any pieces it gets.
TEST(FirmwareImage, RefusesImagesTheUserMatCannotHoldWithoutAllocating) {
    const struct {
        const char* what;
        DataPiece piece;
        uint32_t endAddress;
        ImageOutcome outcome;
        uint32_t recordAddress;
    } kCases[] = {
        {"end at 0x20000015",
         {0x20000000, Bytes(16), "line 1"},
         0x20000015,
         ImageOutcome::LargerThanUserMat,
         0},
        {"one byte past the user MAT",
         {0x7FFFC, Bytes(5), "line 1"},
         0x80005,
         ImageOutcome::RecordOutsideUserMat,
         0x7FFFC},
        {"past the image",
         {0x100, Bytes(16), "line 1"},
         0x80,
         ImageOutcome::RecordOutsideUserMat,
         0x100},
        {"no size", {0x100, Bytes(16), "line 1"}, 0, ImageOutcome::NoSize, 0},
    };
    for (const auto& c : kCases) {
        const FirmwareImage image = LayFirmwareImage({c.piece}, 0, c.endAddress);
        EXPECT_EQ(image.outcome, c.outcome) << c.what;
        EXPECT_EQ(image.recordAddress, c.recordAddress) << c.what;
        EXPECT_TRUE(image.bytes.empty()) << c.what;
        EXPECT_EQ(image.bytes.capacity(), 0u) << c.what;
    }
}
