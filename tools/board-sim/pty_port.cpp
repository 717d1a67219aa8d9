// Pseudo-terminal, link and inotify bookkeeping of the simulated COM port.
#include "pty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace board_sim {

namespace {

std::string LinkTarget(const std::string& path) {
    char target[PATH_MAX];
    ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    return length < 0 ? std::string() : std::string(target, static_cast<size_t>(length));
}

std::string Failure(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

PtyPort::~PtyPort() {
    std::string ignored;
    RemoveLink(&ignored);
    if (!deadPath_.empty()) {
        unlink(deadPath_.c_str());
    }
    if (master_ >= 0) {
        close(master_);
    }
    if (notify_ >= 0) {
        close(notify_);
    }
}

bool PtyPort::Create(const std::string& linkPath, std::string* error) {
    linkPath_ = linkPath;
    struct stat existing;
    if (lstat(linkPath.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        *error = "cannot link " + linkPath + ": it exists and is not a symbolic link";
        return false;
    }
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        *error = Failure("cannot create a pseudo-terminal", "/dev/ptmx");
        return false;
    }
    char name[PATH_MAX];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        *error = Failure("cannot name the pseudo-terminal", "/dev/ptmx");
        return false;
    }
    slavePath_ = name;
    notify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notify_ < 0) {
        *error = Failure("cannot watch", slavePath_);
        return false;
    }
    slaveWatch_ = inotify_add_watch(notify_, slavePath_.c_str(), IN_OPEN | IN_CLOSE);
    if (slaveWatch_ < 0) {
        *error = Failure("cannot watch", slavePath_);
        return false;
    }
    deadPath_ = linkPath + ".unopenable";
    return PointLinkAt(slavePath_, error);
}

std::vector<PortEvent> PtyPort::TakeEvents() {
    std::vector<RawEvent> raw;
    ReadRawEvents(&raw);
    // The hang-up state must not be older than the last event read: look again whenever more
    // events came in meanwhile.
    bool hungUp = false;
    do {
        hungUp = MasterHungUp();
    } while (ReadRawEvents(&raw));

    std::vector<PortEvent> events;
    for (size_t i = 0; i < raw.size(); ++i) {
        const bool opened = (raw[i].mask & IN_OPEN) != 0;
        const bool closed = (raw[i].mask & IN_CLOSE) != 0;
        if ((raw[i].mask & IN_Q_OVERFLOW) != 0) {
            events.push_back({PortEventKind::EventsLost});
        } else if (raw[i].watch == deadWatch_ && deadWatch_ >= 0) {
            if (closed) {
                events.push_back({PortEventKind::DeadFileClosed});
            }
        } else if (raw[i].watch != slaveWatch_ || slaveWatch_ < 0) {
            continue;
        } else if (opened && ownOpensPending_ > 0) {
            --ownOpensPending_;
        } else if (closed && ownClosesPending_ > 0 && ownOpensPending_ == 0) {
            --ownClosesPending_;
        } else if (opened) {
            ++openEvents_;
            everOpened_ = true;
            if (!held_) {
                held_ = true;
                events.push_back({PortEventKind::HostOpened});
            }
        } else if (closed) {
            ++closeEvents_;
            bool reopened = false;
            for (size_t j = i + 1; j < raw.size(); ++j) {
                reopened |= raw[j].watch == slaveWatch_ && (raw[j].mask & IN_OPEN) != 0;
            }
            // The last close in view ends the opening only if nobody holds the device now.
            if (held_ && (reopened || hungUp)) {
                held_ = false;
                events.push_back({PortEventKind::HostClosed, reopened});
            }
        }
    }
    const bool heldNow = everOpened_ && !hungUp && master_ >= 0;
    if (heldNow != held_) {
        held_ = heldNow;
        events.push_back({heldNow ? PortEventKind::HostOpened : PortEventKind::HostClosed});
    }
    return events;
}

bool PtyPort::ReadRawEvents(std::vector<RawEvent>* events) {
    alignas(inotify_event) char buffer[4096];
    bool any = false;
    for (;;) {
        ssize_t length = read(notify_, buffer, sizeof buffer);
        if (length <= 0) {
            return any;
        }
        any = true;
        for (char* at = buffer; at < buffer + length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            events->push_back({event->wd, event->mask});
            at += sizeof(inotify_event) + event->len;
        }
    }
}

bool PtyPort::MasterHungUp() const {
    pollfd state{master_, 0, 0};
    return master_ < 0 || (poll(&state, 1, 0) == 1 && (state.revents & POLLHUP) != 0);
}

size_t PtyPort::Read(uint8_t* buffer, size_t capacity) {
    if (master_ < 0) {
        return 0;
    }
    ssize_t length = read(master_, buffer, capacity);
    return length > 0 ? static_cast<size_t>(length) : 0;
}

PtyPort::WriteResult PtyPort::Write(uint8_t byte) {
    if (master_ < 0) {
        return WriteResult::Failed;
    }
    ssize_t written = write(master_, &byte, 1);
    if (written == 1) {
        return WriteResult::Written;
    }
    return (errno == EAGAIN || errno == EINTR) ? WriteResult::Busy : WriteResult::Failed;
}

bool PtyPort::ReadSettings(LineSettings* settings) const {
    return master_ >= 0 && ReadLineSettings(master_, settings);
}

void PtyPort::DiscardUnreadReplies() {
    if (master_ < 0 || held_) {
        return;
    }
    int slave = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        return;
    }
    ++ownOpensPending_;
    ++ownClosesPending_;
    tcflush(slave, TCIFLUSH);
    close(slave);
}

void PtyPort::Vanish() {
    std::string ignored;
    RemoveLink(&ignored);
    StopWatching(&slaveWatch_);
    StopWatching(&deadWatch_);
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
    held_ = false;
}

bool PtyPort::RemoveLink(std::string* error) {
    const std::string target = LinkTarget(linkPath_);
    if (target.empty() || (target != slavePath_ && target != deadPath_)) {
        return true;
    }
    if (unlink(linkPath_.c_str()) != 0) {
        *error = Failure("cannot remove the link", linkPath_);
        return false;
    }
    return true;
}

bool PtyPort::LinkToDeadFile(std::string* error) {
    int fd = open(deadPath_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = Failure("cannot create", deadPath_);
        return false;
    }
    close(fd);
    deadWatch_ = inotify_add_watch(notify_, deadPath_.c_str(), IN_OPEN | IN_CLOSE);
    if (deadWatch_ < 0) {
        *error = Failure("cannot watch", deadPath_);
        return false;
    }
    return PointLinkAt(deadPath_, error);
}

bool PtyPort::LinkToDevice(std::string* error) {
    StopWatching(&deadWatch_);
    unlink(deadPath_.c_str());
    return PointLinkAt(slavePath_, error);
}

bool PtyPort::PointLinkAt(const std::string& target, std::string* error) {
    // A new link renamed over the old one: the path never goes missing in between.
    const std::string temporary = linkPath_ + ".new";
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
        *error = Failure("cannot create the link", temporary);
        return false;
    }
    if (rename(temporary.c_str(), linkPath_.c_str()) != 0) {
        *error = Failure("cannot create the link", linkPath_);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

void PtyPort::StopWatching(int* watch) {
    if (*watch >= 0 && notify_ >= 0) {
        inotify_rm_watch(notify_, *watch);
    }
    *watch = -1;
}

}  // namespace board_sim
