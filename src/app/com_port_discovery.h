// Start-up discovery of the machine's COM ports into the port combo box.
#pragma once

#include <cstdint>

extern uint8_t g_comPortCount;
extern uint8_t g_comPortNumbers[256];

// Lists the ports as "COM<n>" in IDC_PORT_COMBO, in the order found, and selects the first.
void EnumerateComPorts();
