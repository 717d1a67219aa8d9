// The claim a run lays on its port's device for as long as it uses it, across the closings and
// reopenings between. On Linux the UUCP lock file in /run/lock that serial terminal programs
// honour; on Windows nothing, because an opening there is exclusive already.
#pragma once

#include <string>

#include "serial/serial_link.h"

class PortLock {
public:
    // Linux keeps lock files in `directory`; Windows ignores it.
    explicit PortLock(const std::string& directory = "/run/lock");
    ~PortLock();
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

    // Takes the lock of the device that `port` leads to, whatever name reaches it, in place of a
    // stale one (its process is dead). True when it is held now, or when there is nothing to hold
    // (no such device, or no lock directory, where nobody keeps locks). False, with the problem,
    // when a live process holds it (Busy, naming the holder) or the lock file cannot be made.
    bool Take(const std::string& port, PortOpenProblem* problem);
    // Gives it up. The lock file goes only while it still names this process.
    void Release();

private:
    std::string directory_;
    std::string file_;  // the lock file held; empty when none
};
