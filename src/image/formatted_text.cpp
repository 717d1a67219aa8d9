// printf-style formatting into a std::string.
#include "image/formatted_text.h"

#include <cstdarg>
#include <cstdio>

std::string Formatted(const char* format, ...) {
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    return text;
}
