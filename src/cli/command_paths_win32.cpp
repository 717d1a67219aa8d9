// Command-line text on Windows: UTF-8 back to UTF-16, so that any file name reaches the core
// unchanged, whatever the ANSI code page holds.
#include "cli/command_paths.h"

#include <windows.h>

std::wstring WideFromUtf8(const std::string& text) {
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, NULL, 0);
    if (needed <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], needed);
    wide.resize(static_cast<size_t>(needed) - 1);
    return wide;
}
