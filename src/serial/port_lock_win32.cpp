// PortLock on Windows: an opening of a COM port is exclusive, so between the run's openings there
// is nothing to hold and no convention that other programs would honour.
#include "serial/port_lock.h"

PortLock::PortLock(const std::string&) {}

PortLock::~PortLock() {}

bool PortLock::Take(const std::string&, PortOpenProblem*) {
    return true;
}

void PortLock::Release() {}
