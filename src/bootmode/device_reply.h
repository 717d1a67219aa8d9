// Reading the boot program's reply to the supported-device inquiry into a DeviceList.
#pragma once

#include <cstdint>
#include <vector>

#include "bootmode/device_list.h"

// The reply is 0x30, a size byte, the number of devices, then per device a character count n,
// the 4-byte device code and n - 4 name characters, then SUM (not checked).
//
// False when the reply lacks its device count or its size byte announces more bytes than arrived.
// Otherwise `list` holds the complete entries in reply order and `count` says how many there are
// (0 or below: none). The entries end at the first one that is malformed: a character count
// below 4 leaves no room for the device code, and an entry that runs past the received bytes is
// incomplete. A name longer than 79 characters is cut to 79.
bool ReadDeviceReply(const std::vector<uint8_t>& reply, DeviceList& list);
