// Parsing the supported-device reply without ever reading past the bytes received.
#include "bootmode/device_reply.h"

#include <algorithm>
#include <cstring>

namespace {

const size_t kCodeBytes = sizeof(DeviceEntry::code);
const size_t kLongestName = sizeof(DeviceEntry::name) - 1;
// Reply code, size byte, number of devices.
const size_t kHeaderBytes = 3;

}  // namespace

bool ReadDeviceReply(const std::vector<uint8_t>& reply, DeviceList& list) {
    list.entries.clear();
    list.count = 0;
    if (reply.size() < kHeaderBytes || reply[1] > reply.size()) {
        return false;
    }
    const int announced = static_cast<int8_t>(reply[2]);
    list.count = announced;
    size_t offset = kHeaderBytes;
    for (int i = 0; i < announced && offset < reply.size(); ++i) {
        const int characters = static_cast<int8_t>(reply[offset]);
        if (characters < static_cast<int>(kCodeBytes) ||
            offset + 1 + static_cast<size_t>(characters) > reply.size()) {
            break;
        }
        DeviceEntry entry = {};
        std::memcpy(entry.code, reply.data() + offset + 1, kCodeBytes);
        const size_t nameLength =
            std::min(static_cast<size_t>(characters) - kCodeBytes, kLongestName);
        std::memcpy(entry.name, reply.data() + offset + 1 + kCodeBytes, nameLength);
        list.entries.push_back(entry);
        offset += static_cast<size_t>(characters) + 1;
    }
    if (announced > 0) {
        list.count = static_cast<int>(list.entries.size());
    }
    return true;
}
