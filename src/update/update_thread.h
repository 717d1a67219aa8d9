// The update run: the worker thread that drives the update module through the twelve numbered
// steps and reports each of them to the operator.
#pragma once

#include "serial/custom_thread.h"

class ModUpdate1527;

class UpdateThread : public CustomThread {
public:
    void PreRun() override;
    // The parameter is not used.
    void Run(int32_t param) override;
};

// The thread object of the latest Write; replaced by the next one, written by the main thread.
extern UpdateThread* g_updateThread;
// The one module, created by the first run and reused by every later one.
extern ModUpdate1527* g_updateModule;

// True from the start of a run until its thread has finished with the module and the dialog.
bool IsUpdateRunning();
