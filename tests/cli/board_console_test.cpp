// A board's console during a whole --read-back run against a scripted board: where standard error
// is no terminal it gets plain progress lines while the blocks go out and while they are read
// back, and --json's progress objects name their phase.
#include "cli/board_console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bootmode/boot_frame.h"
#include "bootmode/firmware_image.h"
#include "bootmode/mod_update_1527.h"
#include "cli/streams.h"
#include "support/scripted_link.h"
#include "update/update_thread.h"

namespace {

const int kBlocks = 20;

// Twenty blocks of data from address 0, none of them erased.
std::shared_ptr<const FirmwareImage> Image() {
    DataPiece piece;
    piece.address = 0;
    for (int i = 0; i < kBlocks * 128; ++i) {
        piece.bytes.push_back(static_cast<uint8_t>(i % 251));
    }
    return std::make_shared<const FirmwareImage>(LayFirmwareImage({piece}, 0, kBlocks * 128));
}

// A board that holds what it is sent: its user MAT, its sum and one memory read of every block.
std::unique_ptr<ScriptedLink> HoldingBoard(const FirmwareImage& image) {
    auto link = std::make_unique<ScriptedLink>();
    link->replies[0x25] =
        WithSum({0x35, 0x09, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0xFF, 0xFF});
    std::vector<uint8_t> sum = {0x5B, 0x04, 0, 0, 0, 0};
    WriteBigEndian32(FlashSum(image, {{0x00000000, 0x0007FFFF}}), sum.data() + 2);
    link->replies[0x4B] = WithSum(sum);
    std::vector<uint8_t> read = {0x52, 0, 0, 0, 0};
    WriteBigEndian32(static_cast<uint32_t>(image.bytes.size()), read.data() + 1);
    read.insert(read.end(), image.bytes.begin(), image.bytes.end());
    link->replies[0x52] = WithSum(read);
    return link;
}

// What the file holds, line by line; with `clocks`, each "0:00 left" reads "M:SS left".
std::vector<std::string> Lines(const std::string& path, bool clocks = false) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        const size_t colon = line.rfind(':');
        if (clocks && line.size() > 8 && line.compare(line.size() - 5, 5, " left") == 0 &&
            colon != std::string::npos) {
            line = line.substr(0, line.rfind(' ', colon) + 1) + "M:SS left";
        }
        lines.push_back(line);
    }
    return lines;
}

// Runs a write with --read-back on the console's streams, standard output and error written to
// files; the outcome.
RunOutcome RunReadBack(const BoardOutput& output, const std::string& outputPath,
                       const std::string& errorsPath) {
    std::FILE* out = std::fopen(outputPath.c_str(), "wb");
    std::FILE* errors = std::fopen(errorsPath.c_str(), "wb");
    EXPECT_TRUE(out != nullptr && errors != nullptr);
    RunOutcome outcome;
    {
        Streams streams(ProgressDisplay::Lines, ConsoleFiles{out, errors, false, false});
        BoardConsole console(streams, output);
        UpdateJob job;
        job.portName = L"scripted";
        job.image = Image();
        job.options.replyPaced = true;
        job.options.verify = true;
        job.options.readBack = true;
        ModUpdate1527 module(HoldingBoard(*job.image), std::make_unique<VirtualClock>());
        UpdateThread run(module, console, job);
        {
            std::lock_guard<Mutex> guard(streams.Lock());
            streams.Show(&console);
        }
        EXPECT_TRUE(run.Start(0));
        run.WaitUntilFinished();
        outcome = run.Outcome();
        console.Close();
    }
    std::fclose(out);
    std::fclose(errors);
    return outcome;
}

TEST(BoardConsole, WithoutATerminalProgressComesAsPlainLinesWhileProgrammingAndReadingBack) {
    BoardOutput output;
    output.label = "ttyUSB0";
    const std::string outputPath = testing::TempDir() + "velmora-console-plain.out";
    const std::string errorsPath = testing::TempDir() + "velmora-console-plain.err";
    const RunOutcome outcome = RunReadBack(output, outputPath, errorsPath);
    ASSERT_EQ(RunEnd::Completed, outcome.end);
    EXPECT_TRUE(outcome.readBack);

    std::vector<std::string> expected;
    for (int block = 2; block <= kBlocks; block += 2) {
        expected.push_back("ttyUSB0: [11] " + std::to_string(block) + "/20 blocks, M:SS left");
    }
    expected.push_back("ttyUSB0: [11] read-back 20/20 blocks, M:SS left");
    EXPECT_EQ(expected, Lines(errorsPath, true));
}

TEST(BoardConsole, JsonProgressNamesItsPhase) {
    BoardOutput output;
    output.label = "ttyUSB0";
    output.json = true;
    const std::string outputPath = testing::TempDir() + "velmora-console-json.out";
    const std::string errorsPath = testing::TempDir() + "velmora-console-json.err";
    RunReadBack(output, outputPath, errorsPath);

    std::vector<std::string> progress;
    for (const std::string& line : Lines(outputPath)) {
        if (line.find("\"event\":\"progress\"") != std::string::npos) {
            progress.push_back(line);
        }
    }
    ASSERT_EQ(static_cast<size_t>(kBlocks + 2), progress.size());
    EXPECT_EQ(
        "{\"event\":\"progress\",\"port\":\"ttyUSB0\",\"phase\":\"program\",\"block\":1,"
        "\"blocks\":20}",
        progress.front());
    EXPECT_EQ(
        "{\"event\":\"progress\",\"port\":\"ttyUSB0\",\"phase\":\"read-back\",\"block\":0,"
        "\"blocks\":20}",
        progress[kBlocks]);
    EXPECT_EQ(
        "{\"event\":\"progress\",\"port\":\"ttyUSB0\",\"phase\":\"read-back\",\"block\":20,"
        "\"blocks\":20}",
        progress.back());
}

}  // namespace
