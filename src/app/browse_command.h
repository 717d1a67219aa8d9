// The "..." button: choose a ".mot" file, then load it (read whole, parse, report).
#pragma once

#include <windows.h>

#include <string>

// Runs on the window's thread; `owner` owns the open-file dialog. Fills the window's firmware
// (app/firmware_file.h) and reports in its log, status line and file-name box.
void OnBrowseCommand(HWND owner);

// True when the path names at least one entry whose attributes are not exactly "directory".
bool FileExists(const std::wstring& path);
// Every UTF-16 unit mapped by the C runtime's towupper.
std::wstring ToUpper(const std::wstring& text);
