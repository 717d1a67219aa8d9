// The serial ports of this machine, as a person picks one for the command line.
#pragma once

#include <string>
#include <vector>

struct SerialPortName {
    std::string name;   // what to pass as the port: COM3, /dev/ttyUSB0
    std::string alias;  // a stable name of the same device where the system has one, else empty
};

// Windows: the ports the window lists (the system's device names, or probing on old systems).
// Linux: /dev/ttyS* that have a UART behind them, /dev/ttyUSB* and /dev/ttyACM*, each with its
// /dev/serial/by-id name. `root` is prepended to every system path ("" for the real system).
std::vector<SerialPortName> ListSerialPorts(const std::string& root = "");
