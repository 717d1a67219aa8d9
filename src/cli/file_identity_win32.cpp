// File identity on Windows: the volume and the file index of each name's file, asked of handles
// that may neither read nor write.
#include "cli/file_identity.h"

#include <windows.h>

#include "serial/text_conversion.h"

namespace {

bool Identify(const std::string& name, BY_HANDLE_FILE_INFORMATION* information) {
    // Folders open only with backup semantics; nothing is read or locked.
    const HANDLE file = CreateFileW(WideFromUtf8(name).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = GetFileInformationByHandle(file, information) != 0;
    CloseHandle(file);
    return known;
}

}  // namespace

bool SameFile(const std::string& first, const std::string& second) {
    BY_HANDLE_FILE_INFORMATION one;
    BY_HANDLE_FILE_INFORMATION other;
    return Identify(first, &one) && Identify(second, &other) &&
           one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
           one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}
