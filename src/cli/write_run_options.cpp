// velmora-cli's run options.
#include "cli/write_run_options.h"

#include <vector>

#include "bootmode/boot_protocol.h"

RunOptions WriteRunOptions(const WriteRequest& request) {
    RunOptions options;
    options.replyPaced = request.fast;
    options.documentedEndFrame = true;
    options.eraseTimeoutMilliseconds = request.eraseTimeoutSeconds * 1000;
    options.resendChecksumRefusals = true;
    options.checkUserMat = true;
    options.verify = request.verify || request.readBack;
    options.readBack = request.readBack;
    if (!request.bitRates.empty()) {
        options.bitRates = request.bitRates;
        // Asking opens the port once more before [01]; every driver runs the window's rate.
        options.skipRefusedBitRates = request.bitRates != std::vector<int>{kProgrammingBitRate};
    }
    options.retries = request.retries;
    return options;
}
