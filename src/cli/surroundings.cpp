// The surroundings of velmora-cli as a process: its ports, its clock, its stops and its streams.
#include "cli/surroundings.h"

#include <cstdio>

#include "cli/terminal.h"
#include "serial/rs232c_port.h"

ConsoleFiles ProcessConsole() {
    ConsoleFiles console;
    console.output = stdout;
    console.errors = stderr;
    console.outputIsTerminal = StandardOutputIsTerminal();
    console.errorsIsTerminal = StandardErrorIsTerminal();
    return console;
}

Surroundings ProcessSurroundings() {
    Surroundings surroundings;
    surroundings.line = [](const std::string&) {
        return BoardLine{std::make_unique<RS232CPort>(), std::make_unique<SystemWaitClock>()};
    };
    surroundings.stops = [] { return std::make_unique<InterruptWatch>(); };
    surroundings.console = ProcessConsole();
    return surroundings;
}
