// The flash image laid out from S-record files: real samples, blocks, and the user MAT's last byte.
#include "bootmode/firmware_image.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

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

// The reader refuses such files already; the image holds its own bounds for any records it gets.
TEST(FirmwareImage, RefusesImagesTheUserMatCannotHoldWithoutAllocating) {
    auto record = [](int32_t type, int32_t count, uint32_t address) {
        SRecord made = {};
        made.type = type;
        made.count = count;
        made.address = address;
        return made;
    };
    const struct {
        const char* what;
        SRecord record;
        uint32_t endAddress;
        ImageOutcome outcome;
        uint32_t recordAddress;
    } kCases[] = {
        {"end at 0x20000010", record(3, 0x15, 0x20000000), 0x20000015,
         ImageOutcome::LargerThanUserMat, 0},
        {"one byte past the user MAT", record(2, 0x09, 0x7FFFC), 0x80005,
         ImageOutcome::RecordOutsideUserMat, 0x7FFFC},
        {"past the image", record(1, 0x13, 0x100), 0x80, ImageOutcome::RecordOutsideUserMat, 0x100},
    };
    for (const auto& c : kCases) {
        const FirmwareImage image = LayFirmwareImage(&c.record, 1, 0, c.endAddress);
        EXPECT_EQ(image.outcome, c.outcome) << c.what;
        EXPECT_EQ(image.recordAddress, c.recordAddress) << c.what;
        EXPECT_TRUE(image.bytes.empty()) << c.what;
        EXPECT_EQ(image.bytes.capacity(), 0u) << c.what;
    }
}
