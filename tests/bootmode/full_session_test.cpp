// A whole update session against the simulated board, with the design's delays in virtual time:
// the bytes on the wire, the reports, and the flash that results.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "board_session.h"
#include "image/srec_reader.h"

namespace {

// The image that two-blocks-s1.mot asks for: its reference image padded to whole blocks.
Bytes ExpectedImage() {
    Bytes image = ReadSample("two-blocks-s1.bin");
    image.resize(20 * 128, 0xFF);
    return image;
}

bool Blank(const Bytes& image, size_t block) {
    return std::all_of(image.begin() + block * 128, image.begin() + (block + 1) * 128,
                       [](uint8_t byte) { return byte == 0xFF; });
}

Bytes ExpectedWire(const Bytes& image) {
    Bytes wire = {0x00, 0x55, 0x20, 0x27,                    // matching, handshake, inquiries
                  0x10, 0x04, 0x15, 0x20, 0x00, 0x40, 0x77,  // the board's own device
                  0x11, 0x01, 0x00, 0xEE,                    // clock mode 0
                  0x3F, 0x07, 0x01, 0x80, 0x01, 0xF4, 0x02, 0x08, 0x04, 0x36,  // 38400 bps
                  0x06, 0x40, 0x4F, 0x43};  // confirmation, erase, status, user MAT
    for (size_t block = 0; block < image.size() / 128; ++block) {
        if (Blank(image, block)) {
            continue;
        }
        const uint32_t address = static_cast<uint32_t>(block * 128);
        Bytes frame = {0x50, 0, 0, static_cast<uint8_t>(address >> 8),
                       static_cast<uint8_t>(address)};
        frame.insert(frame.end(), image.begin() + address, image.begin() + address + 128);
        frame.push_back(static_cast<uint8_t>(-std::accumulate(frame.begin(), frame.end(), 0)));
        wire.insert(wire.end(), frame.begin(), frame.end());
    }
    wire.insert(wire.end(), {0x50, 0xB0});
    return wire;
}

}  // namespace

TEST(FullSession, ProgramsARealFileBlockByBlockAndReboots) {
    BoardSession session({});
    InProcessBoard& board = session.board;
    ModUpdate1527& module = session.module;
    ASSERT_TRUE(board.ready());
    SRECReader reader;
    ASSERT_TRUE(reader.Parse(ReadSample("two-blocks-s1.mot")));
    const Bytes image = ExpectedImage();
    ASSERT_TRUE(ReachProgramming(module, board.PortName()));
    ASSERT_TRUE(module.ProgrammingSequence(&reader));
    ASSERT_TRUE(module.Reboot());
    EXPECT_TRUE(g_reports.errors.empty());
    EXPECT_EQ(g_reports.log, "Connecting COM port via 9600bps ...\r\n");

    const Bytes wire = board.HostBytes();
    const Bytes expectedWire = ExpectedWire(image);
    const auto firstDifference =
        std::mismatch(wire.begin(), wire.end(), expectedWire.begin(), expectedWire.end());
    EXPECT_EQ(wire, expectedWire) << "first difference at byte "
                                  << (firstDifference.first - wire.begin()) << " of " << wire.size()
                                  << " (expected " << expectedWire.size() << ")";
    EXPECT_EQ(board.Count("violation"), 0);
    EXPECT_TRUE(board.WaitFor("reboot", 1, "new-firmware"));
    EXPECT_EQ(board.Count("reboot", "new-firmware"), 1);

    // The erase ACK came within the first 3 s: five waits, then one status line per block.
    const std::vector<std::string>& status = g_reports.status;
    ASSERT_EQ(status.size(), 5u + 20u + 3u);
    EXPECT_EQ(status[0], "[!] Waiting for MCU erasing .\r");
    EXPECT_EQ(status[4], "[!] Waiting for MCU erasing .....\r");
    for (size_t block = 0; block < 20; ++block) {
        const char* expected = Blank(image, block) ? "(SKIPPED)" : "(WRITING:128)";
        EXPECT_NE(status[5 + block].find(expected), std::string::npos) << status[5 + block];
        EXPECT_EQ(g_reports.progress[block], std::make_pair(static_cast<int>(block) + 1, 20));
    }
    EXPECT_EQ(status[7], "ADDRESS : 0x00000100 (WRITING:128)  \r");
    EXPECT_EQ(std::vector<std::string>(status.end() - 3, status.end()),
              (std::vector<std::string>{"\r\n", "Finializing last MAT block ...", " "}));
    EXPECT_EQ(g_reports.progress.size(), 20u);

    const Bytes flash = board.Flash();
    ASSERT_EQ(flash.size(), 512u * 1024u);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + image.size(), flash.end(),
                            [](uint8_t byte) { return byte == 0xFF; }));
}

// Lines of 64 data bytes, as srec_cat writes them when asked, reaching the user MAT's last byte:
// every byte of every line lands in the flash.
TEST(FullSession, ProgramsLongLinesUpToTheLastByteOfTheUserMat) {
    BoardSession session({});
    InProcessBoard& board = session.board;
    ASSERT_TRUE(board.ready());
    SRECReader reader;
    ASSERT_TRUE(reader.Parse(ReadSample("long-lines-s3.mot"))) << reader.GetRefusal();
    ASSERT_TRUE(ReachProgramming(session.module, board.PortName()));
    ASSERT_TRUE(session.module.ProgrammingSequence(&reader));
    EXPECT_TRUE(g_reports.errors.empty());
    EXPECT_EQ(board.Count("violation"), 0);

    const Bytes sample = ReadSample("long-lines-s3.bin");
    Bytes image(512u * 1024u, 0xFF);
    std::copy(sample.begin(), sample.end(), image.end() - sample.size());
    const Bytes flash = board.Flash();
    ASSERT_EQ(flash.size(), image.size());
    const auto firstDifference = std::mismatch(flash.begin(), flash.end(), image.begin());
    EXPECT_TRUE(flash == image) << "first difference at 0x" << std::hex
                                << (firstDifference.first - flash.begin());
}
