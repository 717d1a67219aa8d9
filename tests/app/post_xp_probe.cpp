// A program that Windows XP cannot start (it imports GetTickCount64): the import check must
// reject it.
#include <windows.h>

extern "C" __declspec(dllimport) ULONGLONG WINAPI GetTickCount64(void);

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return static_cast<int>(GetTickCount64() & 1);
}
