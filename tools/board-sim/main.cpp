// velmora-board-sim: a simulated H8SX/1520R board on a pseudo-terminal, for tests and first runs.
#include <cstdio>
#include <string>

#include "sim_options.h"
#include "simulator.h"

int main(int argc, char** argv) {
    SimOptions options;
    std::string error;
    switch (ParseOptions(argc, argv, &options, &error)) {
        case ParseOutcome::Help:
            std::fputs(UsageText(), stdout);
            return 0;
        case ParseOutcome::Error:
            std::fprintf(stderr, "velmora-board-sim: %s\nTry velmora-board-sim --help.\n",
                         error.c_str());
            return 2;
        case ParseOutcome::Run:
            break;
    }
    std::string commandLine;
    for (int i = 0; i < argc; ++i) {
        commandLine += (i > 0 ? " " : "") + std::string(argv[i]);
    }
    return RunSimulator(options, commandLine);
}
