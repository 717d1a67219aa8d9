// The port combo box, filled once at start-up with the COM ports of the machine.
#include "app/port_combo_box.h"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "app/main_dialog.h"
#include "app/resource.h"
#include "serial/serial_ports_win32.h"

namespace {

// The ports found, in the order found; kept for the process's life, read by nobody else.
uint8_t g_comPortCount = 0;
uint8_t g_comPortNumbers[256] = {};

}  // namespace

void EnumerateComPorts() {
    for (uint8_t number : FindComPortNumbers()) {
        g_comPortNumbers[g_comPortCount++] = number;
    }
    if (g_comPortCount == 0) {
        return;
    }
    HWND combo = GetDlgItem(g_dialog, IDC_PORT_COMBO);
    for (int k = 0; k < g_comPortCount; ++k) {
        wchar_t entry[10] = {};
        wsprintfW(entry, L"COM%d", g_comPortNumbers[k]);
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    }
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
}
