// Serial ports on Windows: the COM ports the window lists, in the same order.
#include "serial/serial_port_list.h"

#include "serial/com_port_discovery.h"

std::vector<SerialPortName> ListSerialPorts(const std::string&) {
    uint8_t numbers[256] = {};
    uint8_t count = 0;
    FindComPortNumbers(numbers, count);
    std::vector<SerialPortName> ports;
    for (int i = 0; i < count; ++i) {
        ports.push_back({"COM" + std::to_string(numbers[i]), ""});
    }
    return ports;
}
