// The console control handler that InterruptWatch installs on Windows. Declared for the test that
// hands it the events a console under Wine cannot raise.
#pragma once

#include <windows.h>

// Ctrl-C and Ctrl-Break are counted and return at once. The console closing, logoff and shutdown
// are counted too, but hold their thread until WayOutDone, within the few seconds Windows allows
// before it ends the process: returning at once would end it in the middle of a frame.
BOOL WINAPI OnConsoleEvent(DWORD event);
