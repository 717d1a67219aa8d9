// The words for each stop, for both of its stages.
#include "cli/stop_text.h"

std::string StopText(StopSignal stop, StopStage stage) {
    const bool stopping = stage == StopStage::Stopping;
    switch (stop) {
        case StopSignal::HangUp:
            return stopping ? "hung up: stopping before the next frame"
                            : "stopped by SIGHUP (the terminal went away)";
        case StopSignal::Terminate:
            return stopping ? "SIGTERM: stopping before the next frame (a second one stops waiting)"
                            : "stopped by SIGTERM";
        default:
            return stopping ? "stopping before the next frame (Ctrl-C again to stop waiting)"
                            : "interrupted";
    }
}
