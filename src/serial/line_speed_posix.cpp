// termios2 with BOTHER: a file of its own, since the kernel's termbits and glibc's termios.h
// declare the same names.
#include "serial/line_speed_posix.h"

#include <asm/termbits.h>
#include <errno.h>
#include <sys/ioctl.h>

namespace {

bool SetRate(int port, termios2 settings, int32_t bitRate, int32_t* taken) {
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = static_cast<speed_t>(bitRate);
    settings.c_ospeed = static_cast<speed_t>(bitRate);
    if (ioctl(port, TCSETS2, &settings) != 0 || ioctl(port, TCGETS2, &settings) != 0) {
        return false;
    }
    *taken = static_cast<int32_t>(settings.c_ospeed);
    return true;
}

}  // namespace

bool SetExactBitRate(int port, int32_t bitRate, int32_t* taken) {
    termios2 settings;
    return ioctl(port, TCGETS2, &settings) == 0 && SetRate(port, settings, bitRate, taken);
}

bool TryBitRates(int port, const std::vector<int32_t>& bitRates, std::vector<RateTrial>* trials) {
    termios2 saved;
    if (ioctl(port, TCGETS2, &saved) != 0) {
        return false;
    }
    trials->clear();
    for (const int32_t bitRate : bitRates) {
        RateTrial trial{false, 0, 0};
        trial.set = SetRate(port, saved, bitRate, &trial.taken);
        trial.error = trial.set ? 0 : errno;
        trials->push_back(trial);
    }
    return ioctl(port, TCSETS2, &saved) == 0;
}
