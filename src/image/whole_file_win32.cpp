// Whole-file reads on Win32, by the UTF-16 path, so that names outside the ANSI code page open too.
#include "image/whole_file.h"

#include <windows.h>

#include <climits>
#include <new>

WholeFileRead ReadWholeFile(const std::wstring& path, std::unique_ptr<char[]>& data,
                            int32_t& size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        // A folder does not open as a file at all: its attributes tell it apart.
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                   ? WholeFileRead::Directory
                   : WholeFileRead::NotOpened;
    }
    WholeFileRead result = WholeFileRead::Ok;
    LARGE_INTEGER length = {};
    if (!GetFileSizeEx(file, &length)) {
        result = WholeFileRead::ShortRead;
    } else if (length.QuadPart > INT32_MAX) {
        result = WholeFileRead::TooLarge;
    } else {
        size = static_cast<int32_t>(length.QuadPart);
        data.reset(new (std::nothrow) char[static_cast<size_t>(size) + 1]);
        if (!data) {
            result = WholeFileRead::TooLarge;
        }
        int32_t done = 0;
        while (result == WholeFileRead::Ok && done < size) {
            DWORD got = 0;
            if (!ReadFile(file, data.get() + done, static_cast<DWORD>(size - done), &got, NULL) ||
                got == 0) {
                result = WholeFileRead::ShortRead;
            }
            done += static_cast<int32_t>(got);
        }
    }
    CloseHandle(file);
    return result;
}
