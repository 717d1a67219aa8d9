// printf-style formatting into a std::string, for the readers' refusals and the module's reports.
#pragma once

#include <string>

// The text that format and its arguments make, of any length.
std::string FormatText(const char* format, ...);
