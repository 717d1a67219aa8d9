// The Write button: starts one update run on its own thread.
#pragma once

#include <windows.h>

// On the window's thread; `owner` owns the box that refuses a Write without firmware.
void OnWriteCommand(HWND owner);
