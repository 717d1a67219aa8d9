// The "..." button: choose a ".mot" file, then load it (read whole, parse, report).
#pragma once

#include <windows.h>

#include <string>

#include "image/firmware_loading.h"

// Runs on the window's thread; `owner` owns the open-file dialog, `reports` are the window's log,
// status line and file-name box.
void OnBrowseCommand(HWND owner, const LoadReports& reports);

// True when the path names at least one entry whose attributes are not exactly "directory".
bool FileExists(const std::wstring& path);
// Every UTF-16 unit mapped by the C runtime's towupper.
std::wstring ToUpper(const std::wstring& text);
