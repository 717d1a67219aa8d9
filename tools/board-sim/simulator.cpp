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
#include <memory>
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
    // With a removable board, SIGUSR1 and SIGUSR2 are taken as well: out and in.
    explicit SignalGuard(bool removable) {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        sigaddset(&set_, SIGHUP);
        if (removable) {
            sigaddset(&set_, SIGUSR1);
            sigaddset(&set_, SIGUSR2);
        }
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

// The board in the fixture: its options (its own dump path), its flash and the board itself.
struct FittedBoard {
    FittedBoard(const SimOptions& chosen, HostLine& line, EventLog& log)
        : options(chosen), flash(chosen.userMatSize), board(options, line, flash, log) {}

    SimOptions options;
    FlashMemory flash;
    Board board;
};

class Simulator {
public:
    Simulator(const SimOptions& options, EventLog& log, PtyPort& port)
        : options_(options), log_(log), port_(port) {
        PutIn();
    }

    // Returns the signal that ended the loop.
    int Run(SignalGuard& signals) {
        for (;;) {
            TimePoint now = Clock::now();
            const bool open = port_.Present() && port_.Held();
            pollfd fds[3] = {{signals.Fd(), POLLIN, 0}, {port_.NotifyFd(), POLLIN, 0}, {-1, 0, 0}};
            if (open && now >= hangUpUntil_) {
                fds[2] = {port_.MasterFd(), POLLIN, 0};
            }
            std::optional<TimePoint> deadline;
            if (fitted_) {
                deadline = fitted_->board.Deadline();
            }
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
                const int signal = signals.Take();
                if (signal == SIGUSR1) {
                    TakeOut();
                } else if (signal == SIGUSR2) {
                    PutIn();
                } else {
                    return signal;
                }
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
            if (fitted_) {
                fitted_->board.Tick(now, port_.Present() && port_.Held(), settings_);
            }
        }
    }

    // The flash dump of the board in the fixture at exit; none there: nothing to write.
    bool WriteDump(const char* reason) { return !fitted_ || fitted_->board.WriteDump(reason); }

private:
    // A new board, as from the factory; the first is in from the start.
    void PutIn() {
        if (fitted_) {
            return;
        }
        ++boards_;
        SimOptions chosen = options_;
        if (options_.removable) {
            chosen.dumpPath = options_.dumpPath + "." + std::to_string(boards_);
            log_.Record("put-in").Number("board", boards_).Text("dump", chosen.dumpPath);
        }
        fitted_ = std::make_unique<FittedBoard>(chosen, port_, log_);
    }

    // The board goes with what it was doing; the port and its adapter stay, and answer nothing.
    void TakeOut() {
        if (!fitted_) {
            return;
        }
        fitted_->board.WriteDump("taken out");
        fitted_.reset();
        port_.DiscardUnreadReplies();
        log_.Record("taken-out").Number("board", boards_);
    }

    void HandlePortEvents(TimePoint now) {
        for (const PortEvent& event : port_.TakeEvents()) {
            switch (event.kind) {
                case PortEventKind::HostOpened:
                    hangUpUntil_ = TimePoint{};
                    if (fitted_) {
                        fitted_->board.OnHostOpened();
                    }
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
                    if (fitted_) {
                        fitted_->board.OnHostClosed(settings_);
                    }
                    break;
                case PortEventKind::DeadFileClosed:
                    if (fitted_) {
                        fitted_->board.OnDeadFileClosed();
                    }
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
            if (fitted_) {
                fitted_->board.OnHostBytes(buffer, count, settings_, now);
            } else {
                log_.Record("rx")
                    .Hex("bytes", buffer, count)
                    .Number("bit_rate", settings_.bitRate)
                    .Text("board", "none");
            }
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

    const SimOptions& options_;
    EventLog& log_;
    PtyPort& port_;
    std::unique_ptr<FittedBoard> fitted_;  // none while the fixture is empty
    int boards_ = 0;                       // put in so far
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
    SignalGuard signals(options.removable);
    if (signals.Fd() < 0) {
        std::perror("velmora-board-sim: cannot watch signals");
        return 1;
    }
    PtyPort port;
    if (!port.Create(options.linkPath, &error)) {
        std::fprintf(stderr, "velmora-board-sim: %s\n", error.c_str());
        return 1;
    }
    log.Record("start")
        .Text("link", options.linkPath)
        .Text("device", port.SlavePath())
        .Text("dump", options.dumpPath)
        .Number("flash_size", options.userMatSize)
        .Text("command_line", commandLine);
    Simulator simulator(options, log, port);
    std::printf("ready %s\n", options.linkPath.c_str());
    std::fflush(stdout);

    const int signal = simulator.Run(signals);
    const bool dumped = simulator.WriteDump("exit");
    log.Record("exit").Number("signal", signal);
    if (!dumped) {
        std::fprintf(stderr, "velmora-board-sim: the flash dump %s could not be written\n",
                     options.dumpPath.c_str());
        return 1;
    }
    return 0;
}

}  // namespace board_sim
