// What velmora-cli's commands take from the process they run in: the line to each board, the
// watch for stops and the standard streams. main hands in the process's own; a test hands in
// boards in process and files of its own, and runs the same command line.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "cli/interrupt_watch.h"
#include "cli/streams.h"
#include "serial/serial_link.h"
#include "serial/wait_clock.h"

// The link to one board and the clock its module waits on.
struct BoardLine {
    std::unique_ptr<SerialLink> link;
    std::unique_ptr<WaitClock> clock;
};

struct Surroundings {
    // The line to the board on `port`, as the operator named it (UTF-8); asked once a board.
    std::function<BoardLine(const std::string& port)> line;
    // Made once a write's ports are about to open, kept until every one is closed again.
    std::function<std::unique_ptr<StopWatch>()> stops;
    ConsoleFiles console;
};

// The process's standard streams, as they are.
ConsoleFiles ProcessConsole();
// The serial ports, the system's clock, the signals or console events, and ProcessConsole.
Surroundings ProcessSurroundings();
