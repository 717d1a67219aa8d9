// The Write button: starts one update run on its own thread, over the window's module.
#pragma once

#include <windows.h>

#include <memory>

#include "bootmode/mod_update_1527.h"
#include "update/update_thread.h"

// The thread object of the latest Write; replaced by the next one, written by the main thread.
extern std::unique_ptr<UpdateThread> g_updateThread;
// The one module, created by the first Write and reused by every later one; released at teardown.
extern std::unique_ptr<ModUpdate1527> g_updateModule;

// On the window's thread; `owner` owns the box that refuses a Write without firmware.
void OnWriteCommand(HWND owner);

// True from the start of a run until its thread has finished with the module and the dialog.
bool IsUpdateRunning();
