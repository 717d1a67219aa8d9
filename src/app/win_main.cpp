// Entry point: the process lives exactly as long as the modal main dialog.
#include <windows.h>

#include "app/main_dialog.h"
#include "app/resource.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return static_cast<int>(
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), NULL, MainDialogProc, 0));
}
