// velmora-cli's entry point on POSIX, where the arguments are UTF-8 already.
#include <signal.h>

#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/surroundings.h"

int main(int argc, char** argv) {
    // A reader of standard output that goes away (velmora-cli write ... | head) ends the printing,
    // not a run that is programming a board: writes then fail instead of killing the process.
    signal(SIGPIPE, SIG_IGN);
    return RunCommandLine(std::vector<std::string>(argv, argv + argc), ProcessSurroundings());
}
