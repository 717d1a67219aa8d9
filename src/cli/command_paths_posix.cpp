// Command-line text on POSIX: the arguments are UTF-8 already, and wide text is UTF-32.
#include "cli/command_paths.h"

#include "serial/text_conversion.h"

std::wstring WideFromUtf8(const std::string& text) {
    return AnsiToWide(text.c_str());
}
