// velmora-cli ports: the machine's serial ports, one a line, with a stable name where one exists;
// or one JSON object a port.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/json_lines.h"
#include "serial/serial_ports.h"

namespace {

// The text, or null where the system does not tell.
void TextOrNull(JsonObject& object, const char* name, const std::string& text) {
    if (text.empty()) {
        object.Null(name);
    } else {
        object.Text(name, text);
    }
}

std::string PortJsonLine(const SerialPortName& port) {
    JsonObject object;
    object.Text("name", port.name);
    TextOrNull(object, "by_id", port.alias);
    TextOrNull(object, "vendor_id", port.usb.vendorId);
    TextOrNull(object, "product_id", port.usb.productId);
    TextOrNull(object, "serial_number", port.usb.serialNumber);
    TextOrNull(object, "manufacturer", port.usb.manufacturer);
    TextOrNull(object, "product", port.usb.product);
    return object.Line();
}

}  // namespace

int PortsCommand(const PortsRequest& request) {
    for (const SerialPortName& port : ListSerialPorts()) {
        if (request.json) {
            std::fputs(PortJsonLine(port).c_str(), stdout);
        } else if (port.alias.empty()) {
            std::printf("%s\n", port.name.c_str());
        } else {
            std::printf("%s  (%s)\n", port.name.c_str(), port.alias.c_str());
        }
    }
    return kExitProgrammed;
}
