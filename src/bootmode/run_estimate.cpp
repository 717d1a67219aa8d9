// The duration of a run at the protocol's fixed pacing, from its delays and the wire's speed.
#include "bootmode/run_estimate.h"

#include "bootmode/boot_protocol.h"
#include "bootmode/firmware_image.h"

namespace {

// Every fixed delay of a run that passes each step at once, bit-rate matching at its first byte
// included, up to the end of programming (the reboot has none).
constexpr int kFixedDelays =
    kSettleAfterTestDelay + kSettleAfterOpenDelay + kMatchingDelay + kHandshakeDelay +
    kDeviceInquiryDelay + kDeviceReplyRestDelay + kProgrammingUnitDelay + 2 * kSelectionDelay +
    kBitRateSelectionDelay + kConfirmationDelay + kTransitionDelay + kEraseWaits * kEraseWaitDelay +
    kStatusDelay + kUserMatSelectionDelay + kEnterProgrammingDelay + kBlockDelay;

constexpr int kPacedDelays = kSettleAfterTestDelay + kSettleAfterOpenDelay + kEnterProgrammingDelay;

// Bytes on the wire in seconds.
double WireSeconds(uint64_t bytes, int bitRate) {
    return static_cast<double>(bytes * kBitsPerByte) / bitRate;
}

// The memory read's frame: command, size, area, start, read size, SUM.
constexpr uint64_t kMemoryReadFrameBytes = 1 + 1 + kMemoryReadSize + 1;

}  // namespace

int MemoryReadReplyMilliseconds(uint32_t size, int bitRate) {
    const uint64_t bits = (1 + kReadSizeBytes + uint64_t{size} + 1) * kBitsPerByte;
    const uint64_t rate = static_cast<uint64_t>(bitRate);
    return static_cast<int>((bits * 1000 + rate - 1) / rate);
}

RunEstimate EstimateRun(const FirmwareImage& image, int bitRate) {
    const std::vector<SentRun> runs = SentBlockRuns(image);
    uint64_t blocksSent = 0;
    double readBack = 0;
    for (const SentRun& run : runs) {
        blocksSent += run.size / kBlockBytes;
        readBack += WireSeconds(kMemoryReadFrameBytes, bitRate) +
                    (kMemoryReadDelay + MemoryReadReplyMilliseconds(run.size, bitRate)) / 1000.0;
    }
    RunEstimate estimate;
    estimate.stepDelays = kFixedDelays / 1000.0;
    estimate.blockDelays = static_cast<double>(blocksSent) * kBlockDelay / 1000.0;
    estimate.blockWire =
        static_cast<double>(blocksSent) * WireSeconds(kBlockFrameBytes + 1, bitRate);
    estimate.pacedDelays = kPacedDelays / 1000.0;
    estimate.verify = (kUserMatInquiryDelay + kSumCheckDelay) / 1000.0;
    estimate.readBack = readBack;
    return estimate;
}
