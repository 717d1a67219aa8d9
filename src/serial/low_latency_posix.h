// A USB serial adapter's low-latency mode for the time a port is open: the common drivers hold
// received bytes for up to 16 ms otherwise, which a stop-and-wait protocol pays at every block.
#pragma once

struct LowLatency {
    bool set = false;       // the flag was off and this port turned it on
    int previousFlags = 0;  // the driver's flags before, to put back
};

// Turns ASYNC_LOW_LATENCY on where the driver takes it; a device that does not (a pty, some
// drivers) is left as it is.
LowLatency TakeLowLatency(int port);
// Puts the flags back as they were before TakeLowLatency changed them.
void RestoreLowLatency(int port, const LowLatency& taken);
