// The Write command on the main thread: refuses without firmware, else replaces the previous
// update thread with a new run.
#include "app/write_command.h"

#include <windows.h>

#include <memory>

#include "app/dialog_operator.h"
#include "app/firmware_file.h"
#include "bootmode/firmware_image.h"
#include "serial/rs232c_port.h"

std::unique_ptr<UpdateThread> g_updateThread;
std::unique_ptr<ModUpdate1527> g_updateModule;

namespace {

// The runs report on the dialog; it outlives every run.
DialogOperator dialogOperator;

// How long the wait for the previous run sleeps at most between two looks at it.
const DWORD kFinishPollMs = 10;

// Main thread only: set while OnWriteCommand waits for the previous run.
bool waitingForPreviousRun = false;

// The previous run gives Write back before its last call into the dialog (EnableControls still
// disables the check box), and the system carries that call out on this thread. So the wait
// serves what other threads send to the dialog, and only that: posted input such as another
// click stays queued until the Write command has returned.
void WaitServingSentMessages(CustomThread& thread) {
    while (!thread.IsFinished()) {
        MSG message;
        PeekMessageW(&message, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        MsgWaitForMultipleObjects(0, NULL, FALSE, kFinishPollMs, QS_SENDMESSAGE);
    }
}

}  // namespace

void OnWriteCommand(HWND owner) {
    // A Write that another program sends while the wait below serves sent messages would replace
    // the thread object under that wait: it is ignored.
    if (waitingForPreviousRun) {
        return;
    }
    if (g_firmwarePath.empty()) {
        MessageBoxW(owner,
                    L"FW File(MOT) not loaded.\nBefore starting program for update, load FW first.",
                    L"Error", MB_ICONERROR);
        return;
    }
    dialogOperator.ClearLog();
    if (g_updateThread) {
        waitingForPreviousRun = true;
        WaitServingSentMessages(*g_updateThread);
        waitingForPreviousRun = false;
        g_updateThread.reset();
    }
    if (!g_updateModule) {
        g_updateModule.reset(new ModUpdate1527(std::make_unique<RS232CPort>()));
    }
    UpdateJob job;
    job.portName = dialogOperator.ReadSelectedPortName();
    // Laid here, once a run is asked for, from the reader that the summary describes.
    if (g_srecReader) {
        job.image = std::make_shared<const FirmwareImage>(LayFirmwareImage(*g_srecReader));
    }
    // Disabled before the thread starts, so that no browse can change the firmware under the run.
    dialogOperator.DisableControls();
    g_updateThread.reset(new UpdateThread(*g_updateModule, dialogOperator, job));
    if (!g_updateThread->Start(0)) {
        dialogOperator.EnableControls();
    }
}

bool IsUpdateRunning() {
    return g_updateThread && g_updateThread->HasThreadHandle();
}
