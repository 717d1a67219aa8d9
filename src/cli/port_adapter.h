// The adapter behind a port, as a record's row names it.
#pragma once

#include <string>
#include <vector>

#include "serial/serial_ports.h"

// The /dev/serial/by-id name of the device that `port` leads to, among the machine's ports;
// empty where the system names none (Windows lists no such names).
std::string AdapterName(const std::string& port, const std::vector<SerialPortName>& known);
