// velmora-board-sim: a simulated H8SX/1520R board on a pseudo-terminal, for tests and first runs.
#include <cstdio>
#include <string>

#include "sim_options.h"
#include "simulator.h"

int main(int argc, char** argv) {
    board_sim::SimOptions options;
    std::string error;
    switch (board_sim::ParseOptions(argc, argv, &options, &error)) {
        case board_sim::ParseOutcome::Help:
            std::fputs(board_sim::UsageText(), stdout);
            return 0;
        case board_sim::ParseOutcome::Error:
            std::fprintf(stderr, "velmora-board-sim: %s\nTry velmora-board-sim --help.\n",
                         error.c_str());
            return 2;
        case board_sim::ParseOutcome::Run:
            break;
    }
    std::string commandLine;
    for (int i = 0; i < argc; ++i) {
        commandLine += (i > 0 ? " " : "") + std::string(argv[i]);
    }
    return board_sim::RunSimulator(options, commandLine);
}
