// The browse command: the open-file dialog and the checks of the chosen path, then the loading.
#include "app/browse_command.h"

#include <commdlg.h>

#include <cwctype>

#include "app/dialog_operator.h"
#include "app/firmware_file.h"
#include "update/firmware_loading.h"

namespace {

const int kPathUnits = 260;

std::wstring FileNameOf(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
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

void OnBrowseCommand(HWND owner) {
    DialogOperator reports;
    wchar_t chosen[kPathUnits] = {};
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = L"MOT File\0*.mot\0";
    dialog.nFilterIndex = 0;
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = kPathUnits;
    dialog.lpstrInitialDir = L".";
    dialog.Flags = 0;

    g_firmwarePath.clear();
    if (!GetOpenFileNameW(&dialog)) {
        reports.AppendLog(L"File not selected.\r\n");
        reports.AppendLog(L"To update MCU Firmware, select a MOT file first.\r\n");
        return;
    }
    g_firmwarePath = ToUpper(chosen);
    if (!FileExists(g_firmwarePath)) {
        std::wstring line = L"ERROR : file " + g_firmwarePath + L" is not existed !\r\n";
        reports.AppendLog(line.c_str());
        g_firmwarePath.clear();
        reports.SetFileName(L" ");
        return;
    }
    reports.SetFileName(FileNameOf(g_firmwarePath).c_str());
    const LoadOutcome outcome = LoadFirmware(g_firmwarePath, WindowFirmwareStore(), reports);
    // Only a loaded file, or one whose reader could not be created, keeps its path: every other
    // outcome leaves nothing that Write could program.
    if (outcome != LoadOutcome::Loaded && outcome != LoadOutcome::NoReader) {
        g_firmwarePath.clear();
    }
}
