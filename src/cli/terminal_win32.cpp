// The console on Windows: whether standard output or error is one, its width, and its cursor
// (XP's console knows no ANSI sequences).
#include "cli/terminal.h"

#include <windows.h>

bool StandardOutputIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

size_t TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) &&
        info.srWindow.Right > info.srWindow.Left) {
        return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
    }
    return 80;
}

void CursorUp(size_t lines) {
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (lines == 0 || !GetConsoleScreenBufferInfo(console, &info)) {
        return;
    }
    const SHORT up = static_cast<SHORT>(lines);
    COORD start = {
        0, static_cast<SHORT>(info.dwCursorPosition.Y > up ? info.dwCursorPosition.Y - up : 0)};
    SetConsoleCursorPosition(console, start);
}
