// velmora-cli info: the load summary, the image's blocks and the design's run time.
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "bootmode/bit_rate_rule.h"
#include "bootmode/boot_protocol.h"
#include "bootmode/firmware_image.h"
#include "bootmode/run_estimate.h"
#include "cli/board_console.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/firmware_input.h"
#include "cli/streams.h"
#include "cli/surroundings.h"

namespace {

// Times are shown in tenths of a second, each part rounded on its own, so that the parts shown
// add up to the total shown.
long Tenths(double seconds) {
    return std::lround(seconds * 10);
}

std::string Seconds(long tenths) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld.%ld s", tenths / 10, tenths % 10);
    return text;
}

std::string Duration(long tenths) {
    const long whole = (tenths + 5) / 10;
    char text[32];
    std::snprintf(text, sizeof text, "%ld min %02ld s", whole / 60, whole % 60);
    return text;
}

}  // namespace

int InfoCommand(const InfoRequest& request) {
    Streams streams(ProgressDisplay::None, ProcessConsole());
    BoardConsole console(streams, BoardOutput());
    std::shared_ptr<const FirmwareImage> laid;
    const std::string refusal = LoadInput(request.file, request.input, laid, console);
    console.Close();
    if (!refusal.empty()) {
        std::lock_guard<Mutex> guard(streams.Lock());
        streams.Complain(refusal);
        return kExitFileRefused;
    }
    const FirmwareImage& image = *laid;
    const int blocks = static_cast<int>(image.bytes.size() / kBlockBytes);
    int sent = 0;
    for (int block = 0; block < blocks; ++block) {
        sent += IsErasedBlock(image.bytes.data() + block * kBlockBytes) ? 0 : 1;
    }
    std::printf("\nImage: %d blocks of %zu bytes, %d to send, %d blank\n", blocks, kBlockBytes,
                sent, blocks - sent);
    const int bitRate = request.bitRate;
    // The rule let the rate pass: the board's serial interface makes it within 4 %.
    const BitRateFit fit = FitBitRate(bitRate);
    std::printf("At --bps %d the board's serial interface runs at %.0f bps (%+.2f %%)\n", bitRate,
                fit.producedRate, fit.errorPercent);
    const RunEstimate estimate = EstimateRun(image, bitRate, request.replyLatency);
    const long steps = Tenths(estimate.stepDelays);
    const long blockDelays = Tenths(estimate.blockDelays);
    const long total = steps + blockDelays;
    std::printf(
        "At the design's pacing a run takes about %s (%s): %s of the steps' fixed delays and %s "
        "of the blocks' (%d sent, %d ms each, within which a block passes on the wire at %d "
        "bps)\n",
        Duration(total).c_str(), Seconds(total).c_str(), Seconds(steps).c_str(),
        Seconds(blockDelays).c_str(), sent, kBlockDelay, bitRate);
    std::printf("--verify adds about %s to it, --read-back %s more\n",
                Seconds(Tenths(estimate.verify)).c_str(),
                Seconds(Tenths(estimate.readBack)).c_str());
    const long waits = Tenths(estimate.pacedWaits);
    const long erase = Tenths(estimate.pacedErase);
    const long pacedBlocks = Tenths(estimate.pacedBlocks);
    const long replies = Tenths(estimate.pacedReplies);
    const long paced = waits + erase + pacedBlocks + replies;
    const std::string late =
        request.replyLatency > 0
            ? ", each reply " + std::to_string(request.replyLatency) + " ms late"
            : std::string();
    std::printf(
        "With --fast about %s (%s): %s of the waits for the port's openings, %s for the board's "
        "erase, %s of the blocks (%.1f ms each on the wire, programmed and answered%s), %s of the "
        "other steps' replies\n",
        Duration(paced).c_str(), Seconds(paced).c_str(), Seconds(waits).c_str(),
        Seconds(erase).c_str(), Seconds(pacedBlocks).c_str(), estimate.blockSeconds * 1000,
        late.c_str(), Seconds(replies).c_str());
    std::printf("--fast --verify adds about %s to it, --fast --read-back %s more\n",
                Seconds(Tenths(estimate.pacedVerify)).c_str(),
                Seconds(Tenths(estimate.pacedReadBack)).c_str());
    return kExitProgrammed;
}
