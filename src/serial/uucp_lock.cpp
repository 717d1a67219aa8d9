// The names and the text of UUCP lock files, free of system calls.
#include "serial/uucp_lock.h"

#include <cstdint>
#include <cstdio>

namespace {

const char kDeviceFolder[] = "/dev/";
// HDB's pid field: right-aligned in ten characters.
const int kPidWidth = 10;

}  // namespace

std::string UucpLockName(const std::string& devicePath) {
    std::string name = devicePath;
    const std::string folder = kDeviceFolder;
    if (name.compare(0, folder.size(), folder) == 0) {
        name.erase(0, folder.size());
    }
    while (!name.empty() && name.front() == '/') {
        name.erase(0, 1);
    }
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    return "LCK.." + name;
}

std::string UucpLockText(long pid) {
    char text[32];
    std::snprintf(text, sizeof text, "%*ld\n", kPidWidth, pid);
    return text;
}

long UucpLockPid(const std::string& text) {
    size_t position = text.find_first_not_of(' ');
    if (position == std::string::npos) {
        return 0;
    }
    long long pid = 0;
    size_t digits = 0;
    for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position) {
        pid = pid * 10 + (text[position] - '0');
        // No pid is that large: the field holds something else.
        if (++digits > static_cast<size_t>(kPidWidth) || pid > INT32_MAX) {
            return 0;
        }
    }
    const std::string rest = text.substr(position);
    if (digits == 0 || (!rest.empty() && rest != "\n")) {
        return 0;
    }
    return static_cast<long>(pid);
}
