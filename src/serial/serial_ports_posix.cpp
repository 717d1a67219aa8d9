// Serial ports on Linux: the tty devices in /dev, their UARTs in sysfs and their by-id links.
#include "serial/serial_ports.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <tuple>

namespace {

// Device families in the order they are listed: on-board UARTs, USB serial adapters, USB modems.
const char* const kFamilies[] = {"ttyS", "ttyUSB", "ttyACM"};

std::vector<std::string> DirectoryEntries(const std::string& path) {
    std::vector<std::string> names;
    DIR* directory = opendir(path.c_str());
    if (directory == nullptr) {
        return names;
    }
    while (dirent* entry = readdir(directory)) {
        names.emplace_back(entry->d_name);
    }
    closedir(directory);
    return names;
}

// The family's index and the device's number, for a name such as ttyUSB3; false for other names.
bool ParseDeviceName(const std::string& name, size_t* family, unsigned long* number) {
    for (size_t i = 0; i < sizeof kFamilies / sizeof kFamilies[0]; ++i) {
        const std::string prefix = kFamilies[i];
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            name.find_first_not_of("0123456789", prefix.size()) == std::string::npos) {
            *family = i;
            *number = std::strtoul(name.c_str() + prefix.size(), nullptr, 10);
            return true;
        }
    }
    return false;
}

// The kernel creates ttyS0 to ttyS31 whether or not a UART answers there; sysfs gives the type of
// the UART it found, 0 for none.
bool HasUart(const std::string& root, const std::string& name) {
    std::ifstream type(root + "/sys/class/tty/" + name + "/type");
    int value = 0;
    return static_cast<bool>(type >> value) && value != 0;
}

// /dev/serial/by-id names by the device they lead to.
std::map<std::string, std::string> ByIdNames(const std::string& root) {
    std::map<std::string, std::string> aliases;
    const std::string directory = root + "/dev/serial/by-id";
    for (const std::string& entry : DirectoryEntries(directory)) {
        if (entry == "." || entry == "..") {
            continue;
        }
        char target[PATH_MAX];
        const std::string link = directory + "/" + entry;
        if (realpath(link.c_str(), target) == nullptr) {
            continue;
        }
        const std::string device = target;
        const std::string name = device.substr(device.rfind('/') + 1);
        aliases.emplace(name, "/dev/serial/by-id/" + entry);
    }
    return aliases;
}

// The first line of a sysfs attribute, empty when it is missing.
std::string Attribute(const std::string& directory, const char* name) {
    std::ifstream file(directory + "/" + name);
    std::string line;
    std::getline(file, line);
    return line;
}

// The USB device above the tty in sysfs: the nearest directory up from the tty's device that
// carries idVendor (the interface of ttyACM, the interface's parent for ttyUSB).
UsbIdentity UsbIdentityOf(const std::string& root, const std::string& name) {
    char resolved[PATH_MAX];
    const std::string device = root + "/sys/class/tty/" + name + "/device";
    if (realpath(device.c_str(), resolved) == nullptr) {
        return UsbIdentity();
    }
    std::string directory = resolved;
    const std::string devices = root + "/sys/devices";
    // The interface, its device, and a hub or two between: a few levels at most.
    for (int level = 0; level < 4 && directory.size() > devices.size(); ++level) {
        const std::string vendor = Attribute(directory, "idVendor");
        if (!vendor.empty()) {
            return {vendor, Attribute(directory, "idProduct"), Attribute(directory, "serial"),
                    Attribute(directory, "manufacturer"), Attribute(directory, "product")};
        }
        directory.erase(directory.rfind('/'));
    }
    return UsbIdentity();
}

}  // namespace

std::vector<SerialPortName> ListSerialPorts(const std::string& root) {
    const std::map<std::string, std::string> aliases = ByIdNames(root);
    std::vector<std::tuple<size_t, unsigned long, std::string>> found;
    for (const std::string& name : DirectoryEntries(root + "/dev")) {
        size_t family = 0;
        unsigned long number = 0;
        if (!ParseDeviceName(name, &family, &number)) {
            continue;
        }
        if (family == 0 && !HasUart(root, name)) {
            continue;
        }
        found.emplace_back(family, number, name);
    }
    std::sort(found.begin(), found.end());
    std::vector<SerialPortName> ports;
    for (const auto& [family, number, name] : found) {
        auto alias = aliases.find(name);
        ports.push_back({"/dev/" + name, alias != aliases.end() ? alias->second : "",
                         family == 0 ? UsbIdentity() : UsbIdentityOf(root, name)});
    }
    return ports;
}
