// Device list presets and the encoding of the supported-device inquiry reply.
#include "device_catalog.h"

#include <cctype>

namespace board_sim {

const char kOwnDeviceName[] = "H8SX 1520R(40MHz)";

namespace {

// A name's character count travels as a signed byte that includes the 4-byte code.
constexpr size_t kLongestName = 127 - 4;

// The own device's code holds a zero byte, so a host that copies codes as text shows up.
const DeviceEntry kOwnEntry{{0x15, 0x20, 0x00, 0x40}, kOwnDeviceName};
// Decoys that differ only in clock or part number, so a host matching loosely shows up.
const DeviceEntry kSlowerDecoy{{0x15, 0x20, 0x03, 0x33}, "H8SX 1520R(33MHz)"};
const DeviceEntry kOtherPartDecoy{{0x15, 0x27, 0x00, 0x40}, "H8SX 1527R(40MHz)"};
const DeviceEntry kSecondMatch{{0x15, 0x20, 0x0B, 0x40}, "H8SX 1520R(40MHz) rev.B"};

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

}  // namespace

bool DevicePreset(const std::string& name, std::vector<DeviceEntry>* devices) {
    if (name == "default") {
        *devices = {kSlowerDecoy, kOwnEntry};
    } else if (name == "no-match") {
        *devices = {kSlowerDecoy, kOtherPartDecoy};
    } else if (name == "empty") {
        devices->clear();
    } else if (name == "two-matches") {
        *devices = {kSlowerDecoy, kOwnEntry, kSecondMatch};
    } else {
        return false;
    }
    return true;
}

bool ParseDeviceEntry(const std::string& text, DeviceEntry* entry) {
    if (text.size() < 9 || text[8] != ':' || text.size() - 9 > kLongestName) {
        return false;
    }
    for (size_t i = 0; i < 4; ++i) {
        int high = HexValue(text[2 * i]);
        int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        entry->code[i] = static_cast<uint8_t>(high * 16 + low);
    }
    entry->name = text.substr(9);
    return true;
}

const DeviceEntry* OwnDevice(const std::vector<DeviceEntry>& devices) {
    for (const DeviceEntry& device : devices) {
        if (device.name.find(kOwnDeviceName) != std::string::npos) {
            return &device;
        }
    }
    return nullptr;
}

std::vector<uint8_t> DeviceReplyBody(const std::vector<DeviceEntry>& devices) {
    std::vector<uint8_t> body{static_cast<uint8_t>(devices.size())};
    for (const DeviceEntry& device : devices) {
        body.push_back(static_cast<uint8_t>(4 + device.name.size()));
        body.insert(body.end(), device.code.begin(), device.code.end());
        body.insert(body.end(), device.name.begin(), device.name.end());
    }
    return body;
}

}  // namespace board_sim
