// Start-up discovery of the machine's COM ports into the port combo box.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

extern uint8_t g_comPortCount;
extern uint8_t g_comPortNumbers[256];

// Lists the ports as "COM<n>" in IDC_PORT_COMBO, in the order found, and selects the first.
void EnumerateComPorts();

// The system's device-name list (QueryDosDeviceW for all names), asked for with startUnits UTF-16
// units and again with twice as many while it does not fit, up to maxUnits. Empty when the list
// cannot be read.
std::vector<wchar_t> QueryDeviceNames(size_t startUnits, size_t maxUnits);
