// Windows: how the COM ports are found, for the window's combo box and for the test of the system's
// device-name list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The numbers of the machine's COM ports in the order found: on the NT family from the system's
// device-name list, elsewhere by opening COM1 to COM255 in turn (a port in use or not ready
// counts). At most kMaxComPorts.
std::vector<uint8_t> FindComPortNumbers();

// The system's device-name list (QueryDosDeviceW for all names), asked for with startUnits UTF-16
// units and again with twice as many while it does not fit, up to maxUnits. Empty when the list
// cannot be read.
std::vector<wchar_t> QueryDeviceNames(size_t startUnits, size_t maxUnits);
