// velmora-cli's command line: commands, options, help and version, read with CLI11.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/surroundings.h"

enum class CommandName { Write, Info, Ports, History };

// What the arguments ask for: a command and its request, or the text to show and the exit code
// when nothing is to run (help, version, a usage error).
struct CommandLine {
    std::optional<CommandName> command;  // none when nothing is to run
    WriteRequest write;
    InfoRequest info;
    PortsRequest ports;
    HistoryRequest history;
    int exitCode = 0;     // when nothing is to run
    std::string output;   // help or version, for standard output
    std::string problem;  // the usage error, without "velmora-cli: "; empty for none
    bool json = false;    // --json was given: a usage error is also one result object
};

// Reads the arguments (UTF-8, the program's name first); options and operands in any order.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Reads the arguments and runs the command they name; the exit code. A usage error gets one line
// on standard error, and with --json one result object on standard output: the surroundings'.
int RunCommandLine(const std::vector<std::string>& arguments, const Surroundings& surroundings);
