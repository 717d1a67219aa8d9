// velmora-cli ports: the machine's serial ports, one a line, with a stable name where one exists.
#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "serial/serial_ports.h"

int PortsCommand() {
    for (const SerialPortName& port : ListSerialPorts()) {
        if (port.alias.empty()) {
            std::printf("%s\n", port.name.c_str());
        } else {
            std::printf("%s  (%s)\n", port.name.c_str(), port.alias.c_str());
        }
    }
    return kExitProgrammed;
}
