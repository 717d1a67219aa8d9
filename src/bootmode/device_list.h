// The supported-device list that the boot program reports.
#pragma once

#include <cstdint>
#include <vector>

struct DeviceEntry {
    uint8_t code[4];  // as received; sent back unchanged to select the device
    char name[80];    // product name, NUL-terminated, at most 79 characters
};

struct DeviceList {
    int count = 0;  // devices the reply announced; 0 or below means none
    std::vector<DeviceEntry> entries;
};
