// SetExactBitRate on Linux's termios2. <termios.h> stays out of this file: its struct termios
// collides with the kernel's.
#include "support/exact_bit_rate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SetExactBitRate(int fd, int bitsPerSecond) {
    termios2 settings{};
    if (bitsPerSecond <= 0 || ioctl(fd, TCGETS2, &settings) != 0) {
        return false;
    }
    settings.c_cflag &= ~(CBAUD | CBAUD << IBSHIFT);
    settings.c_cflag |= BOTHER | BOTHER << IBSHIFT;
    settings.c_ispeed = static_cast<speed_t>(bitsPerSecond);
    settings.c_ospeed = static_cast<speed_t>(bitsPerSecond);
    return ioctl(fd, TCSETS2, &settings) == 0;
}
