// Sets a serial line to any bit rate, also one that no Bnnn constant names, as a host does for
// 62500 or 76800 bps.
#pragma once

// The line's input and output rate through the kernel's termios2 (BOTHER); its other settings
// stay. False when the device refuses.
bool SetExactBitRate(int fd, int bitsPerSecond);
