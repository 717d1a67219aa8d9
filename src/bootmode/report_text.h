// How the update module's texts leave it: formatted, and through sinks that may be absent.
#pragma once

#include <string>

// printf-style formatting of a report of any length.
std::string FormatText(const char* format, ...);

// Hands `text` to `sink`; a null sink drops the report.
void Report(void (*sink)(const char* text), const std::string& text);
