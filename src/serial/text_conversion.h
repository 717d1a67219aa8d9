// Conversions between the user interface's wide text and the 8-bit text of the module, the
// S-record reader, file and port names.
//
// Each result is the caller's own string, so that no call can release another's result, whatever
// thread makes it. A null argument converts like an empty text.
#pragma once

#include <string>

// Win32: wide is UTF-16 and 8-bit text is in the system's ANSI code page.
// POSIX: wide is UTF-32 and 8-bit text is UTF-8; bytes that are not UTF-8 come through unchanged.
std::string WideToAnsi(const wchar_t* text);
std::wstring AnsiToWide(const char* text);

// UTF-8 text, such as a command line's arguments, and wide text, whatever the code page says.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
