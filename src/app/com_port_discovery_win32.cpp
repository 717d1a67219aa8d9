// The port combo box, filled once at start-up with the COM ports found.
#include "app/com_port_discovery.h"

#include <windows.h>

#include "app/main_dialog.h"
#include "app/resource.h"
#include "serial/com_port_discovery.h"

uint8_t g_comPortCount = 0;
uint8_t g_comPortNumbers[256] = {};

void EnumerateComPorts() {
    FindComPortNumbers(g_comPortNumbers, g_comPortCount);
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
