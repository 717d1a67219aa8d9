// velmora-cli's entry point on Windows: the UTF-16 command line, passed on as UTF-8 so that no
// file name is lost to the ANSI code page.
#include <windows.h>

#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/surroundings.h"
#include "serial/text_conversion.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(Utf8FromWide(argv[i]));
    }
    return RunCommandLine(arguments, ProcessSurroundings());
}
