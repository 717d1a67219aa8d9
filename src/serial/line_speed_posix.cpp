// termios2 with BOTHER: a file of its own, since the kernel's termbits and glibc's termios.h
// declare the same names.
#include "serial/line_speed_posix.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SetExactBitRate(int port, int32_t bitRate, int32_t* taken) {
    termios2 settings;
    if (ioctl(port, TCGETS2, &settings) != 0) {
        return false;
    }
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
