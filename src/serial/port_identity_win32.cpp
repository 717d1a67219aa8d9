// Port identity on Windows: COM names are the devices' own, and the system takes them in any case.
#include "serial/port_identity.h"

namespace {

const char kDeviceNamespace[] = "\\\\.\\";

std::string DeviceKey(const std::string& name) {
    const std::string prefix = kDeviceNamespace;
    std::string key =
        name.compare(0, prefix.size(), prefix) == 0 ? name.substr(prefix.size()) : name;
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return key;
}

}  // namespace

bool SamePort(const std::string& first, const std::string& second) {
    return DeviceKey(first) == DeviceKey(second);
}
