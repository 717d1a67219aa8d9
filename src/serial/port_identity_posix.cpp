// Port identity on Linux: the device node that a name leads to, by its device number.
#include "serial/port_identity.h"

#include <sys/stat.h>

bool SamePort(const std::string& first, const std::string& second) {
    if (first == second) {
        return true;
    }
    struct stat one;
    struct stat other;
    if (stat(first.c_str(), &one) != 0 || stat(second.c_str(), &other) != 0) {
        return false;
    }
    // Two nodes of one device number are one device, wherever they stand.
    if (S_ISCHR(one.st_mode) && S_ISCHR(other.st_mode)) {
        return one.st_rdev == other.st_rdev;
    }
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}
