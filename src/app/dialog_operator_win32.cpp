// The window's operator on the main dialog's controls. Every control is looked up by its ID on
// g_dialog at each call; calls from the update thread are carried out by the main thread's message
// loop.
#include "app/dialog_operator.h"

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>

#include "app/log_busy.h"
#include "app/main_dialog.h"
#include "app/resource.h"

std::atomic<unsigned char> g_logBusy(0);

namespace {

HWND Control(int id) {
    return GetDlgItem(g_dialog, id);
}

}  // namespace

void DialogOperator::AppendLog(const wchar_t* text) {
    HWND log = Control(IDC_LOG);
    // An append that meets another one under way is dropped, as designed.
    if (g_logBusy.exchange(1) == 1) {
        return;
    }
    if (text != nullptr) {
        // Select all, then drop the selection: the caret, and with it the view, goes to the end.
        SendMessageW(log, EM_SETSEL, 0, -1);
        SendMessageW(log, EM_SETSEL, static_cast<WPARAM>(-1), -1);
        SendMessageW(log, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text));
        SendMessageW(log, EM_SETSEL, 0, -1);
        SendMessageW(log, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    }
    g_logBusy = 0;
}

void DialogOperator::ClearLog() {
    HWND log = Control(IDC_LOG);
    SetWindowTextW(log, L"");
    SendMessageW(log, WM_PAINT, 0, 0);
}

void DialogOperator::SetStatusText(const wchar_t* text) {
    SetWindowTextW(Control(IDC_STATUS), text);
}

void DialogOperator::SetFileName(const wchar_t* text) {
    SetWindowTextW(Control(IDC_FILE_NAME), text);
}

void DialogOperator::SetProgress(int position, int maximum) {
    HWND bar = Control(IDC_PROGRESS);
    SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, maximum & 0xFFFF));
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    SendMessageW(bar, WM_PAINT, 0, 0);
}

void DialogOperator::SetMarquee(bool on) {
    HWND bar = Control(IDC_PROGRESS);
    LONG style = GetWindowLongW(bar, GWL_STYLE);
    if (on) {
        SetWindowLongW(bar, GWL_STYLE, style | PBS_MARQUEE);
        // One animation step every 100 ms.
        SendMessageW(bar, PBM_SETMARQUEE, 1, 100);
    } else {
        SetWindowLongW(bar, GWL_STYLE, style & ~PBS_MARQUEE);
        SendMessageW(bar, PBM_SETMARQUEE, 0, 100);
        SetProgress(0, 100);
    }
}

void DialogOperator::EnableControls() {
    EnableWindow(Control(IDC_PORT_COMBO), TRUE);
    EnableWindow(Control(IDC_BROWSE), TRUE);
    EnableWindow(Control(IDC_WRITE), TRUE);
    EnableWindow(Control(IDC_CHAR_COMMAND_CHECK), FALSE);
}

void DialogOperator::DisableControls() {
    EnableWindow(Control(IDC_PORT_COMBO), FALSE);
    EnableWindow(Control(IDC_BROWSE), FALSE);
    EnableWindow(Control(IDC_WRITE), FALSE);
    EnableWindow(Control(IDC_CHAR_COMMAND_CHECK), FALSE);
}

std::wstring DialogOperator::ReadSelectedPortName() {
    // The combo box's text is read into 40 units: a bare name such as COM12 always fits.
    wchar_t name[40] = {};
    GetWindowTextW(Control(IDC_PORT_COMBO), name, sizeof(name) / sizeof(name[0]));
    return name;
}

bool DialogOperator::IsCharacterCommandChecked() {
    return SendMessageW(Control(IDC_CHAR_COMMAND_CHECK), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
