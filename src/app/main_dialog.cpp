// The main dialog: start-up, commands, colours of the log pane and status line, teardown.
#include "app/main_dialog.h"

#include "app/browse_command.h"
#include "app/dialog_operator.h"
#include "app/firmware_file.h"
#include "app/port_combo_box.h"
#include "app/resource.h"
#include "app/write_command.h"

HWND g_dialog = NULL;
HBRUSH g_blackBrush = NULL;
HFONT g_logFont = NULL;
OSVERSIONINFOW g_osVersion = {};

namespace {

const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kGreen = RGB(0, 255, 0);

void CheckWindowsVersion() {
    g_osVersion.dwOSVersionInfoSize = sizeof(g_osVersion);
    GetVersionExW(&g_osVersion);
}

// XP (NT 5.1) and later are supported; 2000 and the non-NT family only get a warning.
void WarnUnsupportedWindows() {
    bool supported = g_osVersion.dwPlatformId == VER_PLATFORM_WIN32_NT &&
                     (g_osVersion.dwMajorVersion > 5 ||
                      (g_osVersion.dwMajorVersion == 5 && g_osVersion.dwMinorVersion != 0));
    if (supported) {
        return;
    }
    MessageBeep(MB_ICONEXCLAMATION);
    MessageBoxW(g_dialog,
                L"This Windows OS is not supported version !\n"
                L"Some Windows components are not work correctly.\n\n"
                L"* Supported OS * \n"
                L"  - Windows XP (kernel 5.1) \n"
                L"  - Windows VISTA (kernel 6.0) \n"
                L"  - Windows 7 (kernel 6.1) \n"
                L"  - Or higher kernel & component required.",
                L"Warnning!", MB_ICONEXCLAMATION);
}

void InitMainDialog() {
    CheckWindowsVersion();
    WarnUnsupportedWindows();
    g_blackBrush = CreateSolidBrush(kBlack);
    g_logFont = CreateFontW(-11, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, L"Courier New");
    HWND log = GetDlgItem(g_dialog, IDC_LOG);
    SendMessageW(log, WM_SETFONT, reinterpret_cast<WPARAM>(g_logFont), 1);
    // Lift the edit control's text limit to its maximum: the log never stops growing.
    SendMessageW(log, EM_LIMITTEXT, static_cast<WPARAM>(-1), -1);
    EnumerateComPorts();
    ShowWindow(GetDlgItem(g_dialog, IDC_CHAR_COMMAND_CHECK), SW_HIDE);
    DialogOperator window;
    window.ClearLog();
    window.AppendLog(L"A program Velmora, built @ 2012-08-16-01 / Windows for x86.32bit\r\n");
    window.AppendLog(L"\r\n");
    window.AppendLog(L"* disclaim *\r\n");
    window.AppendLog(L" This Windows program built to updating H8SX 1520R(40MHz)MCU Firmware.\r\n");
    window.AppendLog(L"There's no duty to keeping this program running on any windows OS and\r\n");
    window.AppendLog(L"protecting for crash on them even any problem.\r\n");
    window.AppendLog(L"\r\n");
    window.SetStatusText(L"Ready. select a MOT file for update.");
}

void TearDown() {
    if (g_fileData) {
        g_fileData.reset();
        g_fileSize = 0;
    }
    if (g_srecReader) {
        g_srecReader->Clear();
        g_srecReader.reset();
    }
    g_updateModule.reset();
    DeleteObject(g_blackBrush);
    DeleteObject(g_logFont);
}

// Main thread only: the refusal's box is up.
bool refusingClose = false;

// The refusal goes into a box, never into the log: an append from this thread could meet one of
// the run's and make it drop its text. The box's modal loop keeps carrying out the run's calls
// into the dialog. A close asked for while the box is up is dropped: no second box, and no end
// of the dialog under its own box.
void RefuseClose() {
    if (refusingClose) {
        return;
    }
    refusingClose = true;
    MessageBeep(MB_ICONEXCLAMATION);
    MessageBoxW(g_dialog, L"Update is running: close the window after it has ended.", L"Velmora",
                MB_ICONEXCLAMATION);
    refusingClose = false;
}

INT_PTR ColourStatic(HDC context, HWND control) {
    int id = GetDlgCtrlID(control);
    if (id == IDC_LOG) {
        SetTextColor(context, kWhite);
    } else if (id == IDC_STATUS) {
        SetTextColor(context, kGreen);
    } else {
        return 0;
    }
    SetBkColor(context, kBlack);
    return reinterpret_cast<INT_PTR>(g_blackBrush);
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            g_dialog = window;
            InitMainDialog();
            return 1;
        case WM_COMMAND:
            // The notification code in the high word does not matter.
            if (LOWORD(wParam) == IDC_BROWSE) {
                OnBrowseCommand(window);
                return 1;
            }
            if (LOWORD(wParam) == IDC_WRITE) {
                OnWriteCommand(window);
                return 1;
            }
            return 0;
        case WM_CTLCOLORSTATIC:
            return ColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_CLOSE:
            // The run uses the module, the reader and the controls until its end: it is not
            // cut short, and the window stays until it is over.
            if (refusingClose || IsUpdateRunning()) {
                RefuseClose();
                return 1;
            }
            EndDialog(window, 0);
            return 1;
        case WM_DESTROY:
            TearDown();
            return 1;
        default:
            return 0;
    }
}
