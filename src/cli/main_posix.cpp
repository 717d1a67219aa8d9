// velmora-cli's entry point on POSIX, where the arguments are UTF-8 already.
#include <string>
#include <vector>

#include "cli/command_line.h"

int main(int argc, char** argv) {
    return RunCommandLine(std::vector<std::string>(argv, argv + argc));
}
