// The host name on POSIX.
#include <unistd.h>

#include "record/station_name.h"

std::string StationName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "unknown";
    }
    return name;
}
