// Test driver: operates a running Velmora window from a second process, by control ID, and prints
// what it finds as one JSON line. Scripted tests call it once per step under Wine.
//
//   velmora_driver wait-dialog [ms]          wait for the main dialog
//   velmora_driver state                     controls of the main dialog
//   velmora_driver dosdevices                COM names of the system's device list, in order
//   velmora_driver message-box CAPTION [ms]  text of a message box, which is then closed
//   velmora_driver key escape|enter|tab      a key press on the focused control
//   velmora_driver click ID                  a click on a button
//   velmora_driver select-port NAME          choose a port in the combo box
//   velmora_driver open-file PATH [ms]       answer the open-file dialog with PATH
//   velmora_driver cancel-file [ms]          cancel the open-file dialog
//   velmora_driver wait-status TEXT [ms]     wait until the status line reads TEXT
//   velmora_driver wait-run-end TEXT [ms]    wait until Write is enabled and the log ends with
//                                            TEXT (\r, \n and \\ escaped); then as state
//   velmora_driver write-when-enabled N [ms] N times: wait until Write is enabled, click it at
//                                            once; fails when a click is not served within ms
//   velmora_driver close                     ask the main dialog to close (WM_CLOSE)
// Exit code 0 on success, 1 when the expected window or state did not appear, 2 on bad usage.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "support/wait_until.h"

namespace {

const int kPollMs = 50;
const int kLogId = 1026;
const int kWriteId = 1022;

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), NULL, 0,
                                   NULL, NULL);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size,
                        NULL, NULL);
    return out;
}

std::string Json(const std::wstring& text) {
    std::string out = "\"";
    for (unsigned char c : Utf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
        return std::wstring();
    }
    std::vector<wchar_t> text(length + 2, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
    return std::wstring(text.data());
}

// The main dialog and Velmora's message boxes share the caption "Velmora": the main dialog is
// the one with a log pane and a Write button.
struct DialogSearch {
    const wchar_t* caption;
    bool mainDialog;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM lParam) {
    DialogSearch& search = *reinterpret_cast<DialogSearch*>(lParam);
    wchar_t className[16] = {};
    wchar_t caption[64] = {};
    GetClassNameW(window, className, 16);
    GetWindowTextW(window, caption, 64);
    if (wcscmp(className, L"#32770") == 0 && wcscmp(caption, search.caption) == 0 &&
        (GetDlgItem(window, kLogId) != NULL && GetDlgItem(window, kWriteId) != NULL) ==
            search.mainDialog) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialog(const wchar_t* caption, bool mainDialog) {
    DialogSearch search = {caption, mainDialog, NULL};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForDialog(const wchar_t* caption, bool mainDialog, int timeoutMs) {
    HWND window = NULL;
    const bool shown = WaitUntil(
        [&] {
            window = FindDialog(caption, mainDialog);
            return window != NULL && IsWindowVisible(window);
        },
        timeoutMs, kPollMs);
    return shown ? window : NULL;
}

HWND MainDialog() {
    return FindDialog(L"Velmora", true);
}

int Fail(const char* why) {
    std::printf("{\"ok\":false,\"error\":\"%s\"}\n", why);
    return 1;
}

int Ok() {
    std::printf("{\"ok\":true}\n");
    return 0;
}

int Timeout(int argc, wchar_t** argv, int index, int fallback) {
    return argc > index ? _wtoi(argv[index]) : fallback;
}

int State() {
    HWND dialog = MainDialog();
    if (dialog == NULL) {
        return Fail("no main dialog");
    }
    HWND combo = GetDlgItem(dialog, 1003);
    std::string items = "[";
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t item[64] = {};
        if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 63) {
            SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        }
        items += (i ? "," : "") + Json(item);
    }
    items += "]";
    HWND bar = GetDlgItem(dialog, 1027);
    // The range comes back as results: a pointer into this process would mean nothing there.
    PBRANGE range = {};
    range.iLow = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, TRUE, 0));
    range.iHigh = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
    LRESULT position = SendMessageW(bar, PBM_GETPOS, 0, 0);
    bool marquee = (GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE) != 0;
    auto enabled = [dialog](int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) ? 1 : 0; };
    HWND check = GetDlgItem(dialog, 1002);
    std::printf(
        "{\"ok\":true,\"ports\":%s,\"selected\":%d,\"port\":%s,\"fileName\":%s,"
        "\"status\":%s,\"log\":%s,\"progress\":{\"low\":%d,\"high\":%d,\"position\":%d,"
        "\"marquee\":%d},\"enabled\":{\"port\":%d,\"browse\":%d,\"write\":%d,\"check\":%d},"
        "\"checkVisible\":%d}\n",
        items.c_str(), static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)),
        Json(TextOf(combo)).c_str(), Json(TextOf(GetDlgItem(dialog, 1016))).c_str(),
        Json(TextOf(GetDlgItem(dialog, 1023))).c_str(),
        Json(TextOf(GetDlgItem(dialog, 1026))).c_str(), range.iLow, range.iHigh,
        static_cast<int>(position), marquee ? 1 : 0, enabled(1003), enabled(1021), enabled(1022),
        enabled(1002), IsWindowVisible(check) ? 1 : 0);
    return 0;
}

int DosDevices() {
    std::vector<wchar_t> names(65535, L'\0');
    DWORD stored = QueryDosDeviceW(NULL, names.data(), 65535);
    std::string list = "[";
    bool first = true;
    for (DWORD i = 0; i < stored && names[i] != L'\0'; i += wcslen(&names[i]) + 1) {
        if (wcsncmp(&names[i], L"COM", 3) == 0) {
            list += (first ? "" : ",") + Json(&names[i]);
            first = false;
        }
    }
    std::printf("{\"ok\":true,\"com\":%s]}\n", list.c_str());
    return 0;
}

int MessageBoxText(const wchar_t* caption, int timeoutMs) {
    HWND box = WaitForDialog(caption, false, timeoutMs);
    if (box == NULL) {
        return Fail("no message box");
    }
    std::wstring text = TextOf(GetDlgItem(box, 0xFFFF));
    HWND main = MainDialog();
    bool mainVisible = main != NULL && IsWindowVisible(main);
    std::printf("{\"ok\":true,\"text\":%s,\"mainVisible\":%d}\n", Json(text).c_str(),
                mainVisible ? 1 : 0);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
}

int Key(const wchar_t* name) {
    HWND dialog = MainDialog();
    if (dialog == NULL) {
        return Fail("no main dialog");
    }
    UINT key = wcscmp(name, L"escape") == 0  ? VK_ESCAPE
               : wcscmp(name, L"enter") == 0 ? VK_RETURN
               : wcscmp(name, L"tab") == 0   ? VK_TAB
                                             : 0;
    if (key == 0) {
        return Fail("unknown key");
    }
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, NULL), &info);
    HWND target = info.hwndFocus != NULL ? info.hwndFocus : dialog;
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    return Ok();
}

int Click(int id) {
    HWND dialog = MainDialog();
    if (dialog == NULL) {
        return Fail("no main dialog");
    }
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    return Ok();
}

int SelectPort(const wchar_t* name) {
    HWND dialog = MainDialog();
    if (dialog == NULL) {
        return Fail("no main dialog");
    }
    LRESULT index = SendMessageW(GetDlgItem(dialog, 1003), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(name));
    return index == CB_ERR ? Fail("no such port") : Ok();
}

// The open-file dialog: its file-name box is the combo box 0x47C (or the edit 0x480 on older
// layouts); IDOK opens, IDCANCEL cancels.
int AnswerOpenFile(const wchar_t* path, int timeoutMs) {
    HWND box = WaitForDialog(L"Open", false, timeoutMs);
    if (box == NULL) {
        return Fail("no open-file dialog");
    }
    if (path == nullptr) {
        PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
        return Ok();
    }
    HWND name = GetDlgItem(box, 0x47C);
    if (name == NULL) {
        name = GetDlgItem(box, 0x480);
    }
    if (name == NULL) {
        return Fail("open-file dialog has no file name box");
    }
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return Ok();
}

int WaitStatus(const wchar_t* expected, int timeoutMs) {
    const bool shown = WaitUntil(
        [&] {
            HWND dialog = MainDialog();
            return dialog != NULL && TextOf(GetDlgItem(dialog, 1023)) == expected;
        },
        timeoutMs, kPollMs);
    return shown ? Ok() : Fail("status did not appear");
}

// "\r", "\n" and "\\" in a command-line argument stand for CR, LF and a backslash.
std::wstring Unescape(const wchar_t* text) {
    std::wstring out;
    for (; *text != L'\0'; ++text) {
        if (*text == L'\\' && text[1] != L'\0') {
            ++text;
            out += *text == L'r' ? L'\r' : *text == L'n' ? L'\n' : *text;
        } else {
            out += *text;
        }
    }
    return out;
}

// Waiting here, not by starting the driver again and again, keeps the machine free for the run.
int WaitRunEnd(const std::wstring& ending, int timeoutMs) {
    const bool ended = WaitUntil(
        [&] {
            HWND dialog = MainDialog();
            if (dialog == NULL || !IsWindowEnabled(GetDlgItem(dialog, 1022))) {
                return false;
            }
            std::wstring log = TextOf(GetDlgItem(dialog, 1026));
            return log.size() >= ending.size() &&
                   log.compare(log.size() - ending.size(), ending.size(), ending) == 0;
        },
        timeoutMs, kPollMs);
    return ended ? State() : Fail("the run did not end as expected");
}

// Presses Write the moment the previous run gives it back, runs times. The poll has no pause, so
// the click lands while that run still makes its last calls into the dialog. The click is sent,
// not posted: its return shows that the window took it, and its time-out that the window hangs.
int WriteWhenEnabled(int runs, int timeoutMs) {
    HWND dialog = MainDialog();
    if (dialog == NULL) {
        return Fail("no main dialog");
    }
    HWND write = GetDlgItem(dialog, kWriteId);
    for (int run = 1; run <= runs; ++run) {
        DWORD started = GetTickCount();
        while (!IsWindowEnabled(write)) {
            if (GetTickCount() - started > static_cast<DWORD>(timeoutMs)) {
                std::printf("{\"ok\":false,\"error\":\"Write stayed disabled\",\"run\":%d}\n", run);
                return 1;
            }
        }
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(write, BM_CLICK, 0, 0, SMTO_NORMAL, static_cast<UINT>(timeoutMs),
                                 &result)) {
            std::printf(
                "{\"ok\":false,\"error\":\"the click on Write was not served: the window "
                "hangs\",\"run\":%d}\n",
                run);
            return 1;
        }
    }
    std::printf("{\"ok\":true,\"runs\":%d}\n", runs);
    return 0;
}

int Close() {
    HWND dialog = MainDialog();
    if (dialog == NULL) {
        return Fail("no main dialog");
    }
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return Ok();
}

int Usage() {
    std::fprintf(stderr, "usage: velmora_driver COMMAND [ARGUMENTS] (see the source)\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return Usage();
    }
    std::wstring command = argv[1];
    if (command == L"wait-dialog") {
        return WaitForDialog(L"Velmora", true, Timeout(argc, argv, 2, 20000))
                   ? Ok()
                   : Fail("no main dialog");
    }
    if (command == L"state") {
        return State();
    }
    if (command == L"dosdevices") {
        return DosDevices();
    }
    if (command == L"message-box" && argc >= 3) {
        return MessageBoxText(argv[2], Timeout(argc, argv, 3, 20000));
    }
    if (command == L"key" && argc >= 3) {
        return Key(argv[2]);
    }
    if (command == L"click" && argc >= 3) {
        return Click(_wtoi(argv[2]));
    }
    if (command == L"select-port" && argc >= 3) {
        return SelectPort(argv[2]);
    }
    if (command == L"open-file" && argc >= 3) {
        return AnswerOpenFile(argv[2], Timeout(argc, argv, 3, 20000));
    }
    if (command == L"cancel-file") {
        return AnswerOpenFile(nullptr, Timeout(argc, argv, 2, 20000));
    }
    if (command == L"wait-status" && argc >= 3) {
        return WaitStatus(argv[2], Timeout(argc, argv, 3, 20000));
    }
    if (command == L"wait-run-end" && argc >= 3) {
        return WaitRunEnd(Unescape(argv[2]), Timeout(argc, argv, 3, 300000));
    }
    if (command == L"write-when-enabled" && argc >= 3) {
        return WriteWhenEnabled(_wtoi(argv[2]), Timeout(argc, argv, 3, 10000));
    }
    if (command == L"close") {
        return Close();
    }
    return Usage();
}
