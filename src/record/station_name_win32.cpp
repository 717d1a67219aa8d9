// The computer's name on Windows, in UTF-8 whatever the code page.
#include <windows.h>

#include "record/station_name.h"
#include "serial/text_conversion.h"

std::string StationName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &length) || length == 0) {
        return "unknown";
    }
    return Utf8FromWide(std::wstring(name, length));
}
