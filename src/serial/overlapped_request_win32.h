// Overlapped requests on Win32 as the COM port's reader thread uses them: the result of a request
// without waiting for it, and a bounded wait for requests to finish.
#pragma once

#include <windows.h>

#include <cstddef>

enum class Fetch { Completed, NotYet, Failed };

// The result of `record`'s request on `handle` and its byte count, without waiting. A request
// that has not finished is NotYet: GetOverlappedResult says ERROR_IO_INCOMPLETE then.
Fetch FetchResult(HANDLE handle, OVERLAPPED* record, DWORD* count);

// Waits until each of the `count` requests has finished, `milliseconds` at most for all of them
// together. False when one has not: its record, event and buffer may still be written later.
bool AwaitRequests(OVERLAPPED* const* records, size_t count, DWORD milliseconds);
