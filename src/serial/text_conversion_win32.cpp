// Wide <-> ANSI code page conversion through the system's code page tables.
#include "serial/text_conversion.h"

#include <windows.h>

#include <cstring>
#include <vector>

std::string WideToAnsi(const wchar_t* text) {
    if (text == nullptr) {
        text = L"";
    }
    // The size the text needs, terminator included, then a zero-filled buffer one byte longer.
    int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, NULL, 0, NULL, NULL);
    if (needed < 0) {
        needed = 0;
    }
    std::vector<char> ansi(static_cast<size_t>(needed) + 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, ansi.data(), needed, NULL, NULL);
    return ansi.data();
}

std::wstring AnsiToWide(const char* text) {
    if (text == nullptr) {
        text = "";
    }
    // At most length + 1 units, terminator included, into a zero-filled buffer of that size.
    const size_t length = std::strlen(text);
    std::vector<wchar_t> wide(length + 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), static_cast<int>(length + 1));
    return wide.data();
}

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

std::string Utf8FromWide(const std::wstring& text) {
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, NULL, 0, NULL, NULL);
    if (needed <= 0) {
        return std::string();
    }
    std::string utf8(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], needed, NULL, NULL);
    utf8.resize(static_cast<size_t>(needed) - 1);
    return utf8;
}
