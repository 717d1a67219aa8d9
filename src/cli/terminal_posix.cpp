// The terminal on POSIX: isatty, the window size, and the cursor moved by an ANSI sequence.
#include "cli/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

bool StandardOutputIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

bool StandardErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

size_t TerminalColumns() {
    winsize size = {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

void CursorUp(size_t lines) {
    if (lines > 0) {
        std::fprintf(stderr, "\r\033[%zuA", lines);
    }
}
