// ASYNC_LOW_LATENCY through TIOCGSERIAL / TIOCSSERIAL.
#include "serial/low_latency_posix.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

LowLatency TakeLowLatency(int port) {
    LowLatency taken;
    serial_struct serial;
    if (ioctl(port, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY) != 0) {
        return taken;
    }
    const int previous = serial.flags;
    serial.flags |= ASYNC_LOW_LATENCY;
    if (ioctl(port, TIOCSSERIAL, &serial) == 0) {
        taken.set = true;
        taken.previousFlags = previous;
    }
    return taken;
}

void RestoreLowLatency(int port, const LowLatency& taken) {
    serial_struct serial;
    if (!taken.set || ioctl(port, TIOCGSERIAL, &serial) != 0) {
        return;
    }
    serial.flags = taken.previousFlags;
    ioctl(port, TIOCSSERIAL, &serial);
}
