// The browse command: the open-file dialog, the whole-file read and the parse, on the main thread.
#include "image/browse_command.h"

#include <windows.h>
#include <commdlg.h>

#include <climits>
#include <cstdio>
#include <cwctype>
#include <new>

#include "app/main_dialog.h"
#include "app/operator_routines.h"
#include "app/resource.h"
#include "image/firmware_file.h"

namespace {

const int kPathUnits = 260;

void SetFileNameBox(const wchar_t* text) {
    SetWindowTextW(GetDlgItem(g_dialog, IDC_FILE_NAME), text);
}

std::wstring FileNameOf(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Why a file could not be loaded into memory, as the line the log shows.
enum class ReadResult { kOk, kCannotOpen, kTooLarge, kShortRead };

// Reads the file whole by its UTF-16 path, so that names outside the ANSI code page open too.
ReadResult ReadWholeFile(const std::wstring& path, std::unique_ptr<char[]>& data, int32_t& size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return ReadResult::kCannotOpen;
    }
    ReadResult result = ReadResult::kOk;
    LARGE_INTEGER length = {};
    if (!GetFileSizeEx(file, &length)) {
        result = ReadResult::kShortRead;
    } else if (length.QuadPart > INT32_MAX) {
        result = ReadResult::kTooLarge;
    } else {
        size = static_cast<int32_t>(length.QuadPart);
        // One spare byte so that an empty file still gets a buffer.
        data.reset(new (std::nothrow) char[static_cast<size_t>(size) + 1]);
        if (!data) {
            result = ReadResult::kTooLarge;
        }
        int32_t done = 0;
        while (result == ReadResult::kOk && done < size) {
            DWORD got = 0;
            if (!ReadFile(file, data.get() + done, static_cast<DWORD>(size - done), &got, NULL) ||
                got == 0) {
                result = ReadResult::kShortRead;
            }
            done += static_cast<int32_t>(got);
        }
    }
    CloseHandle(file);
    return result;
}

const wchar_t* ReadFailureText(ReadResult result) {
    switch (result) {
        case ReadResult::kTooLarge:
            return L"Failed to load file : it is too large !\r\n";
        case ReadResult::kShortRead:
            return L"Failed to read file whole !\r\n";
        default:
            return L"Failed to open file !\r\n";
    }
}

void AppendSummary(const SRECReader& reader) {
    wchar_t summary[512];
    std::swprintf(summary, sizeof(summary) / sizeof(summary[0]),
                  L"\r\nMOT/SRECORD information \r\n======================= \r\n"
                  L"  records count      = %d \r\n  binary codes/datas = %d bytes \r\n"
                  L"  address startes    = 0x%08X \r\n  address ends       = 0x%08X \r\n",
                  reader.GetRecordCount(), reader.GetDataByteCount(), reader.startAddress(),
                  reader.endAddress());
    AppendLog(summary);
}

}  // namespace

bool FileExists(const std::wstring& path) {
    WIN32_FIND_DATAW entry = {};
    HANDLE search = FindFirstFileW(path.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool found = false;
    do {
        // The whole value is compared: a directory with any other attribute counts as a file.
        if (entry.dwFileAttributes != FILE_ATTRIBUTE_DIRECTORY) {
            found = true;
        }
    } while (!found && FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

std::wstring ToUpper(const std::wstring& text) {
    std::wstring upper = text;
    for (wchar_t& unit : upper) {
        unit = static_cast<wchar_t>(std::towupper(unit));
    }
    return upper;
}

void OnBrowseCommand() {
    wchar_t chosen[kPathUnits] = {};
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialog.hwndOwner = g_dialog;
    dialog.lpstrFilter = L"MOT File\0*.mot\0";
    dialog.nFilterIndex = 0;
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = kPathUnits;
    dialog.lpstrInitialDir = L".";
    dialog.Flags = 0;

    g_firmwarePath.clear();
    if (!GetOpenFileNameW(&dialog)) {
        AppendLog(L"File not selected.\r\n");
        AppendLog(L"To update MCU Firmware, select a MOT file first.\r\n");
        return;
    }
    g_firmwarePath = ToUpper(chosen);
    if (!FileExists(g_firmwarePath)) {
        std::wstring line = L"ERROR : file " + g_firmwarePath + L" is not existed !\r\n";
        AppendLog(line.c_str());
        g_firmwarePath.clear();
        SetFileNameBox(L" ");
        return;
    }
    SetFileNameBox(FileNameOf(g_firmwarePath).c_str());
    ClearLog();
    std::wstring loading = L"Loading file : " + g_firmwarePath + L" ... ";
    AppendLog(loading.c_str());

    std::unique_ptr<char[]> data;
    int32_t size = 0;
    ReadResult read = ReadWholeFile(g_firmwarePath, data, size);
    if (read != ReadResult::kOk) {
        AppendLog(ReadFailureText(read));
        g_firmwarePath.clear();
        return;
    }
    g_fileData = std::move(data);
    g_fileSize = size;
    AppendLog(L"Ok.\r\n");
    SetStatusText(L"File reading OK.");
    AppendLog(L"Parsing SRECORD ...");
    SetStatusText(L"Parsing MOT(SRECORD format) file... ");

    if (g_srecReader == nullptr) {
        g_srecReader = new (std::nothrow) SRECReader();
        if (g_srecReader == nullptr) {
            AppendLog(L"ERROR : SRecord reader creation failure !\r\n");
            SetStatusText(L"Error : Srecord module failure.");
            return;
        }
    }
    if (g_srecReader->Parse(g_fileData.get(), g_fileSize)) {
        AppendLog(L"Ok.\r\n");
        AppendSummary(*g_srecReader);
        SetStatusText(L"Parsing completed. update is possible now.");
    } else {
        g_firmwarePath.clear();
        SetFileNameBox(L" ");
        AppendLog(L"Failed.\r\n");
        SetStatusText(L"Parsing failed. update is impossible.");
        // Which line of the file stands in the way; an empty file has none.
        const char* refusal = g_srecReader->GetRefusal();
        if (refusal[0] != '\0') {
            AppendLogA(refusal);
        }
    }
}
