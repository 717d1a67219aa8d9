// velmora-cli's command line: commands, options, help and version, read with CLI11.
#pragma once

#include <string>
#include <vector>

// Reads the arguments (UTF-8, the program's name first) and runs the command they name; the exit
// code. Usage errors get one line on standard error.
int RunCommandLine(const std::vector<std::string>& arguments);
