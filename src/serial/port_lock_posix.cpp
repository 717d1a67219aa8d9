// PortLock on Linux: the UUCP lock file of the device that the port's name leads to.
//
// A lock file appears whole: its text goes into a file of this process's own first, which is then
// linked to the lock's name, and the link fails while another lock file stands there. A lock that
// names a dead process, or this one (a pid used again after a crash), is stale and goes.
#include "serial/port_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "serial/uucp_lock.h"

namespace {

// Tries at the lock's name: a stale lock removed may be taken by another process first.
const int kLinkAttempts = 3;
// More than a lock file or a program's name holds.
const size_t kLongestText = 64;

// The start of a small file's text; empty when it cannot be read.
std::string FileText(const std::string& path) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (file < 0) {
        return std::string();
    }
    char text[kLongestText];
    const ssize_t count = read(file, text, sizeof text);
    close(file);
    return count > 0 ? std::string(text, static_cast<size_t>(count)) : std::string();
}

// A process that exists, whoever owns it.
bool Alive(long pid) {
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// The program's name as the kernel keeps it; empty when it is not to be had.
std::string ProgramName(long pid) {
    std::string name = FileText("/proc/" + std::to_string(pid) + "/comm");
    while (!name.empty() && (name.back() == '\n' || name.back() == '\0')) {
        name.pop_back();
    }
    return name;
}

PortOpenProblem LockFileProblem(const char* failed, const std::string& path, int error) {
    return {PortProblem::Other, std::string(failed) + " " + path + ": " + std::strerror(error)};
}

}  // namespace

PortLock::PortLock(const std::string& directory) : directory_(directory) {}

PortLock::~PortLock() {
    Release();
}

bool PortLock::Take(const std::string& port, PortOpenProblem* problem) {
    Release();
    char device[PATH_MAX];
    // Nothing to hold: the opening names the missing device.
    if (realpath(port.c_str(), device) == nullptr) {
        return true;
    }
    const std::string name = UucpLockName(device);
    const std::string lock = directory_ + "/" + name;
    const long self = static_cast<long>(getpid());
    const std::string own = directory_ + "/LTMP." + std::to_string(self) + "." + name;
    const int file = open(own.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (file < 0 && errno == ENOENT) {
        // A system without a lock directory keeps no locks that another program could honour.
        return true;
    }
    if (file < 0) {
        *problem = LockFileProblem("cannot create the lock file", lock, errno);
        return false;
    }
    const std::string text = UucpLockText(self);
    const bool written = write(file, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    PortOpenProblem refusal = LockFileProblem("cannot write the lock file", lock, errno);
    close(file);
    for (int attempt = 0; written && attempt < kLinkAttempts; ++attempt) {
        if (link(own.c_str(), lock.c_str()) == 0) {
            file_ = lock;
            break;
        }
        if (errno != EEXIST) {
            refusal = LockFileProblem("cannot create the lock file", lock, errno);
            break;
        }
        const long holder = UucpLockPid(FileText(lock));
        if (holder > 0 && holder != self && Alive(holder)) {
            refusal = {PortProblem::Busy, ProgramName(holder), holder};
            break;
        }
        // Should every try meet a lock again, another process keeps taking it.
        refusal = {PortProblem::Busy, std::string(), 0};
        unlink(lock.c_str());
    }
    unlink(own.c_str());
    if (file_.empty()) {
        *problem = refusal;
    }
    return !file_.empty();
}

void PortLock::Release() {
    if (file_.empty()) {
        return;
    }
    if (UucpLockPid(FileText(file_)) == static_cast<long>(getpid())) {
        unlink(file_.c_str());
    }
    file_.clear();
}
