// printf-style formatting into a std::string, for the readers' refusals.
#pragma once

#include <string>

// The text that format and its arguments make, cut at 255 characters.
std::string Formatted(const char* format, ...);
