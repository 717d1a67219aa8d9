// How a write ended, in one line that an engineer can act on, and its exit code.
#pragma once

#include <string>

#include "cli/interrupt_watch.h"
#include "update/update_thread.h"

struct RunConclusion {
    int exitCode;
    bool failure;
    std::string text;  // without "velmora-cli: " and without a line end
};

// `stop` is the first stop the operator asked for, `port` the port as given.
RunConclusion ConcludeRun(const RunOutcome& outcome, StopSignal stop, const std::string& port);

// Standard error's line when a run that failed at `step`, with the link at `bitRate` for
// programming, starts over from [01].
std::string StartingOverText(Step step, const StepFailure& failure, int bitRate, int retry,
                             int retries);

// Why the port could not be used, with what to do about it.
std::string PortProblemText(const PortOpenProblem& problem);
