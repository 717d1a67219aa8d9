// velmora-cli's entry point on Windows: the UTF-16 command line, passed on as UTF-8 so that no
// file name is lost to the ANSI code page.
#include <windows.h>

#include <string>
#include <vector>

#include "cli/command_line.h"

namespace {

std::string Utf8(const wchar_t* text) {
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    if (needed <= 0) {
        return std::string();
    }
    std::string utf8(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], needed, NULL, NULL);
    utf8.resize(static_cast<size_t>(needed) - 1);
    return utf8;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(Utf8(argv[i]));
    }
    return RunCommandLine(arguments);
}
