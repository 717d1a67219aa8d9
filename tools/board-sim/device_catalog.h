// The supported-device lists the simulated boot program can announce: presets and custom entries.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace board_sim {

struct DeviceEntry {
    std::array<uint8_t, 4> code;
    std::string name;
};

// The product name under which the simulated MCU is listed. The board is the first entry whose name
// contains it; device selection accepts that entry's code and no other.
extern const char kOwnDeviceName[];

// Presets: "default", "no-match", "empty", "two-matches". False for an unknown name.
bool DevicePreset(const std::string& name, std::vector<DeviceEntry>* devices);

// "CODE:NAME" with CODE as 8 hex digits. False when malformed or the name is too long for a reply.
bool ParseDeviceEntry(const std::string& text, DeviceEntry* entry);

// Null when no entry names the simulated MCU.
const DeviceEntry* OwnDevice(const std::vector<DeviceEntry>& devices);

// Bytes of the inquiry reply between its size byte and SUM (device count, then per device its
// character count, code and name). They must fit the one size byte.
std::vector<uint8_t> DeviceReplyBody(const std::vector<DeviceEntry>& devices);

}  // namespace board_sim
