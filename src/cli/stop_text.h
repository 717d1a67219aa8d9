// What velmora-cli says of a stop that the operator asked for: while the run stops, and once it
// has stopped.
#pragma once

#include <string>

#include "cli/interrupt_watch.h"

enum class StopStage {
    Stopping,  // the runs stop before their next frame
    Stopped    // a run ended there
};

std::string StopText(StopSignal stop, StopStage stage);
