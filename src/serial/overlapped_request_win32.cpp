// Fetching and bounded waiting for the overlapped requests of the Win32 COM port.
#include "serial/overlapped_request_win32.h"

Fetch FetchResult(HANDLE handle, OVERLAPPED* record, DWORD* count) {
    if (GetOverlappedResult(handle, record, count, FALSE)) {
        return Fetch::Completed;
    }
    const DWORD error = GetLastError();
    return error == ERROR_IO_INCOMPLETE || error == ERROR_IO_PENDING ? Fetch::NotYet
                                                                     : Fetch::Failed;
}

bool AwaitRequests(OVERLAPPED* const* records, size_t count, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (size_t i = 0; i < count; ++i) {
        // Unsigned arithmetic keeps the elapsed time right across the tick count's wrap.
        const DWORD spent = GetTickCount() - start;
        const DWORD left = spent < milliseconds ? milliseconds - spent : 0;
        if (WaitForSingleObject(records[i]->hEvent, left) != WAIT_OBJECT_0 ||
            !HasOverlappedIoCompleted(records[i])) {
            return false;
        }
    }
    return true;
}
