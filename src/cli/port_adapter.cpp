// A port's adapter: the stable name the system gives its device.
#include "cli/port_adapter.h"

#include "serial/port_identity.h"

std::string AdapterName(const std::string& port, const std::vector<SerialPortName>& known) {
    for (const SerialPortName& listed : known) {
        if (listed.alias.empty()) {
            continue;
        }
        if (port == listed.name || port == listed.alias || SamePort(port, listed.name)) {
            const size_t separator = listed.alias.find_last_of("/\\");
            return separator == std::string::npos ? listed.alias
                                                  : listed.alias.substr(separator + 1);
        }
    }
    return std::string();
}
