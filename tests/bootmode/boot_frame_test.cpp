// Frames of the boot program: the SUM rule and the exact bytes of command and programming frames.
#include "bootmode/boot_frame.h"

#include <gtest/gtest.h>

#include <numeric>

using Bytes = std::vector<uint8_t>;

TEST(FrameSum, MakesEveryFrameAddUpToZero) {
    const struct {
        Bytes frame;
        uint8_t sum;
    } kCases[] = {
        {{0x3F, 0x07, 0x01, 0x80, 0x01, 0xF4, 0x02, 0x08, 0x04}, 0x36},
        {{0x11, 0x01, 0x00}, 0xEE},
        {{0x50}, 0xB0},
        {{0x80, 0x80}, 0x00},  // a sum of 256 needs no correction, not 0x100 cut to a byte
        {{}, 0x00},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FrameSum(c.frame.data(), c.frame.size()), c.sum);
    }
}

TEST(CommandFrame, CarriesCommandSizeDataAndSum) {
    const uint8_t mode = 0;
    EXPECT_EQ(CommandFrame(0x11, &mode, 1), (Bytes{0x11, 0x01, 0x00, 0xEE}));
    const uint8_t rate[] = {0x01, 0x80, 0x01, 0xF4, 0x02, 0x08, 0x04};
    EXPECT_EQ(CommandFrame(0x3F, rate, sizeof rate),
              (Bytes{0x3F, 0x07, 0x01, 0x80, 0x01, 0xF4, 0x02, 0x08, 0x04, 0x36}));
}

TEST(BlockFrame, Is134BytesWithBigEndianAddressDataAndSum) {
    uint8_t block[kBlockBytes];
    std::iota(block, block + kBlockBytes, uint8_t{0x40});
    uint8_t frame[kBlockFrameBytes];
    FillBlockFrame(frame, 0x00012380, block);
    ASSERT_EQ(sizeof frame, 134u);
    EXPECT_EQ(Bytes(frame, frame + 5), (Bytes{0x50, 0x00, 0x01, 0x23, 0x80}));
    EXPECT_EQ(Bytes(frame + 5, frame + 133), Bytes(block, block + kBlockBytes));
    const int total = std::accumulate(frame, frame + kBlockFrameBytes, 0);
    EXPECT_EQ(total % 256, 0);
}
