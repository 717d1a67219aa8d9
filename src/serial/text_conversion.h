// Conversions between the user interface's wide text and the 8-bit text of the module, the
// S-record reader, file and port names.
//
// Each helper owns its result: the next call of the same helper on the same thread releases it.
// Results are kept per thread, so the update thread and the main thread never invalidate each
// other's. A null argument converts like an empty text.
#pragma once

#include <string>

// Win32: wide is UTF-16 and 8-bit text is in the system's ANSI code page.
// POSIX: wide is UTF-32 and 8-bit text is UTF-8; bytes that are not UTF-8 come through unchanged.
const char* WideToAnsi(const wchar_t* text);
const wchar_t* AnsiToWide(const char* text);

// UTF-8 text, such as a command line's arguments, and wide text, whatever the code page says.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
