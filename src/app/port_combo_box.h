// The port combo box, filled once at start-up with the COM ports found.
#pragma once

// Lists the ports as "COM<n>" in IDC_PORT_COMBO, in the order found, and selects the first.
void EnumerateComPorts();
