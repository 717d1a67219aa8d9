// The duration of a run, from the protocol's delays, the bytes each transaction puts on the wire
// and the board's typical times.
#include "bootmode/run_estimate.h"

#include "bootmode/bit_rate_rule.h"
#include "bootmode/boot_protocol.h"
#include "bootmode/firmware_image.h"

namespace {

// Every fixed delay of velmora-cli's run that passes each step at once, bit-rate matching at its
// first byte and the user MAT inquiry before the erase included, up to the end of programming (the
// reboot has none).
constexpr int kFixedDelays = kSettleAfterTestDelay + kSettleAfterOpenDelay + kMatchingDelay +
                             kHandshakeDelay + kDeviceInquiryDelay + kDeviceReplyRestDelay +
                             kProgrammingUnitDelay + 2 * kSelectionDelay + kUserMatInquiryDelay +
                             kBitRateSelectionDelay + kConfirmationDelay + kTransitionDelay +
                             kEraseWaits * kEraseWaitDelay + kStatusDelay + kUserMatSelectionDelay +
                             kEnterProgrammingDelay + kBlockDelay;

// The port opens five times (the connection test, boot mode, the matching, the new rate and the
// reboot), and each opening waits about one poll for its reader.
constexpr int kPortOpenings = 5;
constexpr int kPacedWaits = kSettleAfterTestDelay + kSettleAfterOpenDelay + kEnterProgrammingDelay +
                            kPortOpenings * kReadyPollMilliseconds;

// The board's own times, as the simulated board takes them: the typical programming time of a
// 128-byte unit in the H8SX family's hardware manuals, and an erase of the user MAT. A real
// board's erase depends on its flash.
constexpr double kTypicalProgrammingSeconds = 0.001;
constexpr double kTypicalEraseSeconds = 1.0;

// The transactions before the new rate, at the matching rate: each frame and its reply, in bytes.
constexpr uint64_t kMatchingRateBytes =
    (1 + 1)                                                // the matching byte, its echo
    + (1 + 1)                                              // the handshake
    + (1 + (4 + 4 + sizeof kSupportedDeviceName - 1 + 1))  // the device inquiry, one listed
    + (1 + kShortestUnitReply)                             // the programming unit inquiry
    + ((1 + 1 + 4 + 1) + 1)                                // the device selection, ACK
    + (1 + (3 + kUserMatAreaBytes + 1))                    // the user MAT inquiry, one area
    + ((1 + 1 + 1 + 1) + 1)                                // the clock mode selection, ACK
    + ((1 + 1 + kFixedBitRateParameters + 2 + 1) + 1);     // the bit-rate selection, ACK
constexpr int kMatchingRateTransactions = 8;
// At the programming rate: the confirmation, the transition (its erase aside), the status
// inquiry, the user MAT selection and the end of programming, each with its reply.
constexpr uint64_t kProgrammingRateOut = 1 + 1 + 1 + 1 + sizeof kEndOfProgrammingAtLastAddress;
constexpr uint64_t kProgrammingRateIn = 1 + 1 + kShortestStatusReply + 1 + 1;
constexpr int kProgrammingRateTransactions = 5;
// The verify option: the sum check at the programming rate.
constexpr uint64_t kSumCheckReplyBytes = 2 + kSumCheckSize + 1;

// The memory read's frame: command, size, area, start, read size, SUM.
constexpr uint64_t kMemoryReadFrameBytes = 1 + 1 + kMemoryReadSize + 1;

// Bytes on the wire in seconds.
double WireSeconds(uint64_t bytes, double bitRate) {
    return static_cast<double>(bytes * kBitsPerByte) / bitRate;
}

}  // namespace

int MemoryReadReplyMilliseconds(uint32_t size, int bitRate) {
    const uint64_t bits = (1 + kReadSizeBytes + uint64_t{size} + 1) * kBitsPerByte;
    const uint64_t rate = static_cast<uint64_t>(bitRate);
    return static_cast<int>((bits * 1000 + rate - 1) / rate);
}

RunEstimate EstimateRun(const FirmwareImage& image, int bitRate, int replyLatency) {
    // The host sends at the rate it asked for, the board answers at the rate its SCI makes.
    const double hostRate = bitRate;
    const BitRateFit fit = FitBitRate(bitRate);
    const double boardRate = fit.producedRate > 0 ? fit.producedRate : bitRate;
    const double latency = replyLatency / 1000.0;

    const std::vector<SentRun> runs = SentBlockRuns(image);
    uint64_t blocksSent = 0;
    RunEstimate estimate = {};
    for (const SentRun& run : runs) {
        blocksSent += run.size / kBlockBytes;
        // The frame goes out within the delay, which waits for the reply's wire time as well.
        estimate.readBack +=
            (kMemoryReadDelay + MemoryReadReplyMilliseconds(run.size, bitRate)) / 1000.0;
        estimate.pacedReadBack += WireSeconds(kMemoryReadFrameBytes, hostRate) +
                                  WireSeconds(1 + kReadSizeBytes + run.size + 1, boardRate) +
                                  latency;
    }
    const double sent = static_cast<double>(blocksSent);
    estimate.stepDelays = kFixedDelays / 1000.0;
    estimate.blockSeconds = WireSeconds(kBlockFrameBytes, hostRate) + kTypicalProgrammingSeconds +
                            WireSeconds(1, boardRate) + latency;
    // The slowest rate the run takes still sends a block within its delay.
    estimate.blockDelays = sent * kBlockDelay / 1000.0;
    estimate.verify = kSumCheckDelay / 1000.0;

    estimate.pacedWaits = kPacedWaits / 1000.0;
    estimate.pacedErase = kTypicalEraseSeconds;
    estimate.pacedBlocks = sent * estimate.blockSeconds;
    estimate.pacedReplies = WireSeconds(kMatchingRateBytes, kMatchingBitRate) +
                            WireSeconds(kProgrammingRateOut, hostRate) +
                            WireSeconds(kProgrammingRateIn, boardRate) +
                            (kMatchingRateTransactions + kProgrammingRateTransactions) * latency;
    estimate.pacedVerify =
        WireSeconds(1, hostRate) + WireSeconds(kSumCheckReplyBytes, boardRate) + latency;
    return estimate;
}
