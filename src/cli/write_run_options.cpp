// velmora-cli's run options.
#include "cli/write_run_options.h"

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
        options.skipRefusedBitRates = true;
    }
    options.retries = request.retries;
    return options;
}
