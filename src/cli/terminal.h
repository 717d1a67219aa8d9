// What velmora-cli needs to know of its terminal.
#pragma once

#include <cstddef>

// Standard output or standard error is an interactive terminal (not a file or a pipe).
bool StandardOutputIsTerminal();
bool StandardErrorIsTerminal();
// Columns of the terminal that standard error shows on; 80 when unknown.
size_t TerminalColumns();
// Moves standard error's cursor up `lines` lines, to the start of that line.
void CursorUp(size_t lines);
