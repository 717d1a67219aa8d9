// The status line and the failure reports of block programming.
#include "bootmode/block_reports.h"

#include <gtest/gtest.h>

TEST(BlockStatusText, ShowsAllFourAddressBytesWithTwoDigits) {
    EXPECT_EQ(BlockStatusText(0x00010000, false), "ADDRESS : 0x00010000 (WRITING:128)  \r");
    EXPECT_EQ(BlockStatusText(0x00000080, true), "ADDRESS : 0x00000080 (SKIPPED)   \r");
    EXPECT_EQ(BlockStatusText(0x0A0B0C00, false), "ADDRESS : 0x0A0B0C00 (WRITING:128)  \r");
}

TEST(BlockFailureText, NamesTheReply) {
    const struct {
        std::vector<uint8_t> reply;
        const char* text;
    } kCases[] = {
        {{0x15}, "ERROR : sending firmware failed by 0x15\r\n"},
        {{0x05}, "ERROR : sending firmware failed by 0x5\r\n"},
        {{0xD0}, "ERROR : sending firmware failed by 0xD0\r\n"},
        {{0xD0, 0x11}, "ERROR : Programming stoped by Checksum error.\r\n"},
        {{0xD0, 0x2A, 0x00},
         "ERROR : Programming stopped by address error - address is not in the MAT.\r\n"},
        {{0xD0, 0x53},
         "ERROR : A Programming error has occurred and programming cannot be continued.\r\n"},
        {{0xD0, 0x99}, "ERROR : Unknown.\r\n"},
        {{0x15, 0x15}, ""},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(BlockFailureText(c.reply), c.text);
    }
}
