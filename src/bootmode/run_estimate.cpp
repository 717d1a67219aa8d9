// The duration of a run at the protocol's fixed pacing, from its delays and the wire's speed.
#include "bootmode/run_estimate.h"

#include "bootmode/boot_protocol.h"

namespace {

// Every fixed delay of a run that passes each step at once, bit-rate matching at its first byte
// included, up to the end of programming (the reboot has none).
constexpr int kFixedDelays =
    kSettleAfterTestDelay + kSettleAfterOpenDelay + kMatchingDelay + kHandshakeDelay +
    kDeviceInquiryDelay + kDeviceReplyRestDelay + kProgrammingUnitDelay + 2 * kSelectionDelay +
    kBitRateSelectionDelay + kConfirmationDelay + kTransitionDelay + kEraseWaits * kEraseWaitDelay +
    kStatusDelay + kUserMatSelectionDelay + kEnterProgrammingDelay + kBlockDelay;

}  // namespace

double BlockWireSeconds() {
    return (kBlockFrameBytes + 1) * kBitsPerByte / static_cast<double>(kProgrammingBitRate);
}

double DesignPacedRunSeconds(int blocksSent) {
    return kFixedDelays / 1000.0 + blocksSent * (kBlockDelay / 1000.0 + BlockWireSeconds());
}
