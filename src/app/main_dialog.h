// The program's one window: its dialog procedure, start-up and teardown, and its GUI globals.
#pragma once

#include <windows.h>

extern HWND g_dialog;
extern HBRUSH g_blackBrush;
extern HFONT g_logFont;
extern OSVERSIONINFOW g_osVersion;

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
