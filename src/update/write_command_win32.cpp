// The Write command on the main thread: refuses without firmware, else replaces the previous
// update thread with a new run.
#include "update/write_command.h"

#include <windows.h>

#include "app/main_dialog.h"
#include "app/operator_routines.h"
#include "image/firmware_file.h"
#include "update/update_thread.h"

void OnWriteCommand() {
    if (g_firmwarePath.empty()) {
        MessageBoxW(g_dialog,
                    L"FW File(MOT) not loaded.\nBefore starting program for update, load FW first.",
                    L"Error", MB_ICONERROR);
        return;
    }
    ClearLog();
    // The previous run gave the controls back as its last call into the dialog, so waiting for
    // its thread cannot block on a call that needs this thread's message loop.
    if (g_updateThread != nullptr) {
        g_updateThread->WaitUntilFinished();
        delete g_updateThread;
        g_updateThread = nullptr;
    }
    // Disabled before the thread starts, so that no browse can change the firmware under the run.
    DisableControls();
    g_updateThread = new UpdateThread();
    if (!g_updateThread->Start(0)) {
        EnableControls();
    }
}
