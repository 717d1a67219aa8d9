// The UUCP lock files of serial devices, as serial terminal programs keep them: LCK..<device> in
// the lock directory, holding its owner's pid in HDB's form (ten characters and a line end).
#pragma once

#include <string>

// The lock file's name for a device by its resolved path: /dev/ttyUSB0 gives LCK..ttyUSB0. A
// device in a folder below /dev keeps its folders with '_' for '/' (/dev/pts/3: LCK..pts_3).
std::string UucpLockName(const std::string& devicePath);
// What a lock file of `pid` holds.
std::string UucpLockText(long pid);
// The pid that a lock file's text names; 0 when it names none (empty, cut, not a number).
long UucpLockPid(const std::string& text);
