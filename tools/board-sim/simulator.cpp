// Event loop of velmora-board-sim: one thread, poll() over signals, inotify and the pty master.
#include "simulator.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "board.h"
#include "event_log.h"
#include "flash_memory.h"
#include "pty_port.h"
#include "sim_clock.h"

namespace board_sim {

namespace {

// While the host holds the port its settings are read at least this often: a short opening at
// 19200 bps must be seen as one.
constexpr auto kSettingsInterval = std::chrono::milliseconds(2);
// A master that reports a hang-up or error while the device still seems held is left out of
// poll() this long: it would report the same at once, again and again.
constexpr auto kHangUpPause = std::chrono::milliseconds(2);

class SignalGuard {
public:
    SignalGuard() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        sigaddset(&set_, SIGHUP);
        sigprocmask(SIG_BLOCK, &set_, nullptr);
        std::signal(SIGPIPE, SIG_IGN);
        fd_ = signalfd(-1, &set_, SFD_NONBLOCK | SFD_CLOEXEC);
    }
    ~SignalGuard() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    SignalGuard(const SignalGuard&) = delete;
    SignalGuard& operator=(const SignalGuard&) = delete;

    int Fd() const { return fd_; }
    int Take() {
        signalfd_siginfo info{};
        return read(fd_, &info, sizeof info) == sizeof info ? static_cast<int>(info.ssi_signo) : 0;
    }

private:
    sigset_t set_;
    int fd_ = -1;
};

int TimeoutMilliseconds(std::optional<TimePoint> deadline, TimePoint now) {
    if (!deadline) {
        return -1;
    }
    if (*deadline <= now) {
        return 0;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now);
    return static_cast<int>(std::min<long long>(wait.count(), 60000));
}

class Simulator {
public:
    Simulator(const SimOptions& options, EventLog& log, PtyPort& port, FlashMemory& flash)
        : log_(log), port_(port), board_(options, port, flash, log) {}

    // Returns the signal that ended the loop.
    int Run(SignalGuard& signals) {
        for (;;) {
            TimePoint now = Clock::now();
            const bool open = port_.Present() && port_.Held();
            pollfd fds[3] = {{signals.Fd(), POLLIN, 0}, {port_.NotifyFd(), POLLIN, 0}, {-1, 0, 0}};
            if (open && now >= hangUpUntil_) {
                fds[2] = {port_.MasterFd(), POLLIN, 0};
            }
            std::optional<TimePoint> deadline = board_.Deadline();
            if (open) {
                deadline =
                    std::min(deadline.value_or(now + kSettingsInterval), now + kSettingsInterval);
            }
            if (poll(fds, 3, TimeoutMilliseconds(deadline, now)) < 0 && errno != EINTR) {
                log_.Record("error").Text("error", std::string("poll: ") + std::strerror(errno));
                return 0;
            }
            now = Clock::now();
            if ((fds[0].revents & POLLIN) != 0) {
                return signals.Take();
            }
            if ((fds[2].revents & POLLIN) != 0) {
                DrainHost(now);
            }
            if ((fds[1].revents & POLLIN) != 0 || (fds[2].revents & (POLLHUP | POLLERR)) != 0) {
                HandlePortEvents(now);
                if ((fds[2].revents & (POLLHUP | POLLERR)) != 0 && port_.Held()) {
                    hangUpUntil_ = now + kHangUpPause;
                }
            }
            if (port_.Held()) {
                Sample();
            }
            board_.Tick(now, port_.Present() && port_.Held(), settings_);
        }
    }

    Board& board() { return board_; }

private:
    void HandlePortEvents(TimePoint now) {
        for (const PortEvent& event : port_.TakeEvents()) {
            switch (event.kind) {
                case PortEventKind::HostOpened:
                    hangUpUntil_ = TimePoint{};
                    board_.OnHostOpened();
                    Sample();
                    break;
                case PortEventKind::HostClosed:
                    DrainHost(now);
                    // Once the host has reopened, the settings now are the new opening's: the
                    // last sample of the closed one tells more. A reopening can also come after
                    // the events were read, so a fresh sample counts only if the device is
                    // still free once it has been taken.
                    if (!event.reopenedSince) {
                        SampleIfStillFree();
                    }
                    board_.OnHostClosed(settings_);
                    break;
                case PortEventKind::DeadFileClosed:
                    board_.OnDeadFileClosed();
                    break;
                case PortEventKind::EventsLost:
                    log_.Record("events-lost").Text("reason", "inotify queue overflow");
                    break;
            }
        }
    }

    void DrainHost(TimePoint now) {
        uint8_t buffer[4096];
        for (;;) {
            const size_t count = port_.Read(buffer, sizeof buffer);
            if (count == 0) {
                return;
            }
            Sample();
            board_.OnHostBytes(buffer, count, settings_, now);
        }
    }

    void Sample() {
        LineSettings now;
        if (port_.ReadSettings(&now)) {
            Adopt(now);
        }
    }

    void SampleIfStillFree() {
        LineSettings now;
        if (port_.ReadSettings(&now) && port_.FreeNow()) {
            Adopt(now);
        }
    }

    void Adopt(const LineSettings& now) {
        if (now != settings_) {
            settings_ = now;
            log_.Record("settings").Json("settings", settings_.ToJson());
        }
    }

    EventLog& log_;
    PtyPort& port_;
    Board board_;
    LineSettings settings_;
    TimePoint hangUpUntil_{};
};

}  // namespace

int RunSimulator(const SimOptions& options, const std::string& commandLine) {
    EventLog log([] { return Clock::now(); });
    std::string error;
    if (!log.Open(options.logPath, &error)) {
        std::fprintf(stderr, "velmora-board-sim: %s\n", error.c_str());
        return 1;
    }
    SignalGuard signals;
    if (signals.Fd() < 0) {
        std::perror("velmora-board-sim: cannot watch signals");
        return 1;
    }
    PtyPort port;
    if (!port.Create(options.linkPath, &error)) {
        std::fprintf(stderr, "velmora-board-sim: %s\n", error.c_str());
        return 1;
    }
    FlashMemory flash(options.userMatSize);
    Simulator simulator(options, log, port, flash);
    log.Record("start")
        .Text("link", options.linkPath)
        .Text("device", port.SlavePath())
        .Text("dump", options.dumpPath)
        .Number("flash_size", flash.Size())
        .Text("command_line", commandLine);
    std::printf("ready %s\n", options.linkPath.c_str());
    std::fflush(stdout);

    const int signal = simulator.Run(signals);
    const bool dumped = simulator.board().WriteDump("exit");
    log.Record("exit").Number("signal", signal);
    if (!dumped) {
        std::fprintf(stderr, "velmora-board-sim: the flash dump %s could not be written\n",
                     options.dumpPath.c_str());
        return 1;
    }
    return 0;
}

}  // namespace board_sim
