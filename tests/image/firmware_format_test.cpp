// The formats by content, and a binary file placed at its offset.
#include "image/firmware_format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct DetectCase {
    std::string text;
    FirmwareFormat format;
};

class DetectFormatTest : public testing::TestWithParam<DetectCase> {};

TEST_P(DetectFormatTest, TellsTheFormatByContent) {
    const DetectCase& c = GetParam();
    EXPECT_EQ(c.format, DetectFormat(c.text.data(), c.text.size())) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DetectFormatTest,
    testing::Values(DetectCase{std::string("\x7F"
                                           "ELF\x01\x02",
                                           6),
                               FirmwareFormat::Elf},
                    DetectCase{":00000001FF\n", FirmwareFormat::IntelHex},
                    DetectCase{"\r\n\n:00000001FF\n", FirmwareFormat::IntelHex},
                    DetectCase{"S00600004844521B\n", FirmwareFormat::SRecord},
                    // Plain text stays with the S-record reader, which says it holds no data.
                    DetectCase{"Release notes\n:00000001FF\n", FirmwareFormat::SRecord},
                    DetectCase{"\x7F"
                               "EL",
                               FirmwareFormat::SRecord},
                    DetectCase{"", FirmwareFormat::SRecord}));

TEST(FirmwareFormatTest, PlacesABinaryAtItsOffsetInsideTheUserMat) {
    const std::string bytes(16, '\x5A');
    const PieceRead placed = ReadPieces(FirmwareFormat::Binary, bytes.data(), 16, 0x7FFF0);
    ASSERT_TRUE(placed.accepted) << placed.refusal;
    ASSERT_EQ(1u, placed.pieces.size());
    EXPECT_EQ(0x7FFF0u, placed.pieces[0].address);
    EXPECT_EQ(std::vector<uint8_t>(16, 0x5A), placed.pieces[0].bytes);

    const PieceRead outside = ReadPieces(FirmwareFormat::Binary, bytes.data(), 16, 0x7FFF1);
    EXPECT_FALSE(outside.accepted);
    EXPECT_EQ(
        "offset 0x0007FFF1: data at 0x0007FFF1-0x00080000 lies outside the 524288-byte "
        "user MAT",
        outside.refusal);

    const PieceRead empty = ReadPieces(FirmwareFormat::Binary, bytes.data(), 0, 0x90000);
    EXPECT_TRUE(empty.accepted);
    EXPECT_TRUE(empty.pieces.empty());
}

}  // namespace
