// The simulator's event loop: the port's openings, the host's bytes, timers and signals.
#pragma once

#include <string>

#include "sim_options.h"

namespace board_sim {

// Runs until SIGINT, SIGTERM or SIGHUP; returns the process exit code.
int RunSimulator(const SimOptions& options, const std::string& commandLine);

}  // namespace board_sim
