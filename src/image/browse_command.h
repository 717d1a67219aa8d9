// The "..." button: choose a ".mot" file, read it whole, parse it and report the result.
#pragma once

#include <string>

void OnBrowseCommand();

// True when the path names at least one entry whose attributes are not exactly "directory".
bool FileExists(const std::wstring& path);
// Every UTF-16 unit mapped by the C runtime's towupper.
std::wstring ToUpper(const std::wstring& text);
