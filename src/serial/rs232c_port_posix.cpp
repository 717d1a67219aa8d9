// RS232CPort on POSIX: a raw termios device served by a reader thread that multiplexes its
// latched requests and the device with poll, so the update module runs natively against a pty.
//
// Requests (stop, read, write, line-event wait) are latched flags plus one byte in a wake-up pipe
// that interrupts poll; taking a request clears its flag, and Open clears them all and empties
// the pipe before it starts a reader thread. Reads, writes and line-event waits are carried out by
// the reader thread itself on the non-blocking descriptor: a read completes when the requested
// number of bytes has arrived, a write when the device has taken every byte, a line-event wait
// when ring or carrier detect changes (sampled while such a wait is pending). A completion stays
// signalled until its position is served, as on Win32.
#include "serial/rs232c_port.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "serial/line_speed_posix.h"
#include "serial/low_latency_posix.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

// How often modem lines are sampled while a line-event wait is pending.
const int kModemSampleMilliseconds = 10;

struct Operation {
    bool inFlight = false;  // started and its completion not yet served
    bool done = false;      // completed, successfully or not, and not yet served
    bool failed = false;
};

bool SpeedFor(int32_t bitRate, speed_t* speed) {
    static const struct {
        int32_t rate;
        speed_t speed;
    } kSpeeds[] = {{50, B50},         {75, B75},         {110, B110},       {134, B134},
                   {150, B150},       {200, B200},       {300, B300},       {600, B600},
                   {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
                   {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
                   {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& entry : kSpeeds) {
        if (entry.rate == bitRate) {
            *speed = entry.speed;
            return true;
        }
    }
    return false;
}

// A driver that runs the line this far off the rate asked for has not taken it: two UARTs
// apart by more stop understanding each other's frames.
constexpr int32_t kLargestRateErrorPercent = 2;

// Whether the driver runs `bitRate`, from what it did with the request; why not, if not. The
// driver may round a rate, and one that rounds too far refuses it.
bool RateRun(int32_t bitRate, const RateTrial& trial, std::string* why) {
    if (!trial.set) {
        *why = std::string("the driver refused it: ") + std::strerror(trial.error);
        return false;
    }
    if (std::abs(trial.taken - bitRate) * 100 > bitRate * kLargestRateErrorPercent) {
        *why = "the driver runs the line at " + std::to_string(trial.taken) + " bps instead";
        return false;
    }
    return true;
}

// Rates without a B-constant go through termios2 once the rest is set.
bool ApplyExactBitRate(int port, int32_t bitRate, PortOpenProblem* problem) {
    RateTrial trial{false, 0, 0};
    trial.set = SetExactBitRate(port, bitRate, &trial.taken);
    trial.error = trial.set ? 0 : errno;
    std::string why;
    if (RateRun(bitRate, trial, &why)) {
        return true;
    }
    *problem = {PortProblem::RateRefused, why};
    return false;
}

bool ApplyLineSettings(int port, int32_t bitRate, int32_t parity, uint8_t byteSize,
                       bool hardwareHandshake, PortOpenProblem* problem) {
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    speed_t speed = B38400;
    const bool standardRate = SpeedFor(bitRate, &speed);
    termios settings;
    if (byteSize < 5 || byteSize > 8 || bitRate <= 0 || tcgetattr(port, &settings) != 0) {
        return false;
    }
    cfmakeraw(&settings);
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    settings.c_cflag |= kSizes[byteSize - 5] | CREAD | CLOCAL;
    if (parity == 1) {
        settings.c_cflag |= PARENB | PARODD;
    } else if (parity == 2) {
        settings.c_cflag |= PARENB;
    }
    if (hardwareHandshake) {
        settings.c_cflag |= CRTSCTS;
    }
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0 ||
        tcsetattr(port, TCSANOW, &settings) != 0) {
        return false;
    }
    return standardRate || ApplyExactBitRate(port, bitRate, problem);
}

// Devices without modem lines (a pty) refuse these requests with ENOTTY or EINVAL.
bool LacksModemLines() {
    return errno == ENOTTY || errno == EINVAL;
}

PortOpenProblem SystemProblem(int error) {
    return {PortProblem::Other, std::strerror(error)};
}

// The group whose members may open the device; empty when its group may not, or it is unknown.
std::string OpeningGroup(const char* path) {
    struct stat status;
    const mode_t groupReadsAndWrites = S_IRGRP | S_IWGRP;
    if (stat(path, &status) != 0 || (status.st_mode & groupReadsAndWrites) != groupReadsAndWrites) {
        return std::string();
    }
    std::vector<char> buffer(4096);
    group entry;
    group* found = nullptr;
    if (getgrgid_r(status.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return std::to_string(status.st_gid);
    }
    return found->gr_name;
}

PortOpenProblem ProblemOpening(const char* path, int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            return {PortProblem::NoSuchPort, std::string()};
        case EACCES:
        case EPERM:
            return {PortProblem::PermissionDenied, OpeningGroup(path)};
        case EBUSY:
            return {PortProblem::Busy, std::string()};
        case EISDIR:
            return {PortProblem::NotSerial, std::string()};
        default:
            return SystemProblem(error);
    }
}

}  // namespace

struct RS232CPort::Platform {
    Platform() : port(-1), exclusive(false), thread(), threadRecorded(false), modemLines(0) {
        for (std::atomic<bool>& request : requested) {
            request.store(false);
        }
        ClearOperations();
        int ends[2];
        if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0) {
            wakeRead = ends[0];
            wakeWrite = ends[1];
        } else {
            wakeRead = wakeWrite = -1;
        }
    }

    ~Platform() {
        if (port >= 0) {
            close(port);
        }
        if (wakeRead >= 0) {
            close(wakeRead);
            close(wakeWrite);
        }
    }

    void ClearOperations() {
        read = write = lineEvent = Operation();
        readWanted = readFilled = writeSent = 0;
    }

    // Sleeps in poll until a request arrives or the device lets an operation in flight go on,
    // and carries that operation forward. False when poll itself fails.
    bool AwaitProgress(ReaderState& state) {
        bool reading = read.inFlight && !read.done;
        bool writing = write.inFlight && !write.done;
        bool watching = lineEvent.inFlight && !lineEvent.done;
        // The device is polled only for an operation in flight: a hung-up device reports itself
        // at every poll, and a failure counts only through an operation, as on Win32.
        pollfd waits[2] = {{wakeRead, POLLIN, 0}, {-1, 0, 0}};
        if (reading || writing) {
            waits[1].fd = port;
            waits[1].events = static_cast<short>((reading ? POLLIN : 0) | (writing ? POLLOUT : 0));
        }
        if (poll(waits, 2, watching ? kModemSampleMilliseconds : -1) < 0) {
            return errno == EINTR;
        }
        if (waits[0].revents != 0) {
            DrainWakeUps();
        }
        const short trouble = POLLERR | POLLHUP | POLLNVAL;
        if (reading && (waits[1].revents & (POLLIN | trouble)) != 0) {
            ContinueRead(state.receiveBuffer);
        }
        if (writing && (waits[1].revents & (POLLOUT | trouble)) != 0) {
            ContinueWrite(state.transmitBuffer, state.transmitLength);
        }
        if (watching) {
            SampleModemLines(&state.lineEventMask);
        }
        return true;
    }

    void DrainWakeUps() {
        char drained[64];
        while (::read(wakeRead, drained, sizeof drained) > 0) {
        }
    }

    void ContinueRead(uint8_t* buffer) {
        ssize_t count =
            ::read(port, buffer + readFilled, static_cast<size_t>(readWanted - readFilled));
        if (count > 0) {
            readFilled += static_cast<int32_t>(count);
            read.done = readFilled == readWanted;
        } else if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
            // End of file on a tty means that it was hung up.
            read.done = read.failed = true;
        }
    }

    void ContinueWrite(const uint8_t* buffer, int32_t length) {
        ssize_t count = ::write(port, buffer + writeSent, static_cast<size_t>(length - writeSent));
        if (count >= 0) {
            writeSent += static_cast<int32_t>(count);
            write.done = writeSent == length;
        } else if (errno != EAGAIN && errno != EINTR) {
            write.done = write.failed = true;
        }
    }

    bool StartLineEventWait() {
        if (ioctl(port, TIOCMGET, &modemLines) == 0) {
            lineEvent.inFlight = true;
            return true;
        }
        // Without modem lines the wait stays pending for good: it has nothing to report.
        return LacksModemLines();
    }

    void SampleModemLines(uint32_t* reported) {
        int lines = 0;
        if (ioctl(port, TIOCMGET, &lines) != 0) {
            lineEvent.done = lineEvent.failed = true;
            return;
        }
        int changed = lines ^ modemLines;
        modemLines = lines;
        uint32_t events = ((changed & TIOCM_RI) != 0 ? kLineEventRing : 0) |
                          ((changed & TIOCM_CD) != 0 ? kLineEventCarrier : 0);
        if (events != 0) {
            *reported = events;
            lineEvent.done = true;
        }
    }

    // Takes a served completion; false when the operation failed.
    static bool TakeCompletion(Operation& operation) {
        bool failed = operation.failed;
        operation = Operation();
        return !failed;
    }

    std::atomic<bool> requested[kPositionCount];  // only the request positions are used
    int wakeRead;
    int wakeWrite;
    Mutex portLock;  // GetInputQueueCount against the reader thread's close
    int port;
    bool exclusive;    // this opening set the device's exclusive mode
    pthread_t thread;  // owner only
    bool threadRecorded;

    // Reader thread only.
    Operation read;
    Operation write;
    Operation lineEvent;
    int32_t readWanted;
    int32_t readFilled;
    int32_t writeSent;
    int modemLines;         // at the start of the line-event wait, then at the last sample
    LowLatency lowLatency;  // set by OpenDevice, put back by ClosePort
};

struct RS232CPort::ReaderEntry {
    static void* Run(void* handOver) {
        std::shared_ptr<ReaderState>* state = static_cast<std::shared_ptr<ReaderState>*>(handOver);
        RunReader(**state);
        delete state;
        return nullptr;
    }
};

void RS232CPort::PlatformDeleter::operator()(Platform* platform) const {
    delete platform;
}

RS232CPort::Platform* RS232CPort::NewPlatform() {
    return new Platform;
}

void RS232CPort::Signal(ReaderState& state, int position) {
    Platform& platform = *state.platform;
    platform.requested[position].store(true);
    const char wake = 0;
    // A full pipe already holds a wake-up, so a refused byte loses nothing.
    if (::write(platform.wakeWrite, &wake, 1) < 0) {
        return;
    }
}

RS232COpenResult RS232CPort::OpenDevice(uint8_t byteSize, const RS232COptions* options) {
    Platform& platform = *state_->platform;
    int port = open(portName_, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    {
        std::lock_guard<Mutex> guard(platform.portLock);
        platform.port = port;
    }
    if (port < 0) {
        openProblem_ = ProblemOpening(portName_, errno);
        return RS232COpenResult::DeviceNotOpened;
    }
    if (!isatty(port)) {
        openProblem_ = {PortProblem::NotSerial, std::string()};
        return RS232COpenResult::LineSettingsRefused;
    }
    // The lock keeps out a second user that asks for it, as the exclusive open does on Win32; the
    // exclusive mode keeps out those that do not, such as a modem manager or a terminal program
    // (ClosePort gives it up again).
    if (flock(port, LOCK_EX | LOCK_NB) != 0) {
        openProblem_ = errno == EWOULDBLOCK ? PortOpenProblem{PortProblem::Busy, std::string()}
                                            : SystemProblem(errno);
        return RS232COpenResult::DeviceNotOpened;
    }
    // Root opens a device in exclusive mode all the same: it stays the holder's.
    int heldExclusively = 0;
    if (ioctl(port, TIOCGEXCL, &heldExclusively) == 0 && heldExclusively != 0) {
        openProblem_ = {PortProblem::Busy, std::string()};
        return RS232COpenResult::DeviceNotOpened;
    }
    if (ioctl(port, TIOCEXCL) != 0) {
        openProblem_ = SystemProblem(errno);
        return RS232COpenResult::DeviceNotOpened;
    }
    platform.exclusive = true;
    bool handshake = options != nullptr && options->hardwareHandshake;
    if (!ApplyLineSettings(port, bitRate_, parity_, byteSize, handshake, &openProblem_)) {
        return RS232COpenResult::LineSettingsRefused;
    }
    platform.lowLatency = TakeLowLatency(port);
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(port, handshake ? TIOCMBIS : TIOCMBIC, &lines) != 0 && !LacksModemLines()) {
        return RS232COpenResult::LineSettingsRefused;
    }
    return RS232COpenResult::PortOpened;
}

std::vector<RefusedBitRate> RS232CPort::ProbeBitRates(const std::vector<int32_t>& bitRates) const {
    std::vector<RefusedBitRate> refused;
    const int port = open(portName_, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port < 0) {
        return refused;
    }
    // A device that another program holds is left alone, also by root: the run's own opening
    // says so.
    std::vector<RateTrial> trials;
    int heldExclusively = 0;
    if (isatty(port) && flock(port, LOCK_EX | LOCK_NB) == 0 &&
        !(ioctl(port, TIOCGEXCL, &heldExclusively) == 0 && heldExclusively != 0) &&
        TryBitRates(port, bitRates, &trials)) {
        for (size_t i = 0; i < bitRates.size(); ++i) {
            std::string why;
            if (!RateRun(bitRates[i], trials[i], &why)) {
                refused.push_back({bitRates[i], why});
            }
        }
    }
    close(port);
    return refused;
}

bool RS232CPort::EventsUsable() const {
    return state_->platform->wakeRead >= 0;
}

void RS232CPort::StartReader() {
    Platform& platform = *state_->platform;
    state_->readerEnded.Reset();
    std::shared_ptr<ReaderState>* handOver = new std::shared_ptr<ReaderState>(state_);
    if (pthread_create(&platform.thread, nullptr, &ReaderEntry::Run, handOver) != 0) {
        // Not reported: IsOpen never turns true, and the caller's wait for it runs out.
        delete handOver;
        state_->readerEnded.Set();
        return;
    }
    platform.threadRecorded = true;
}

void RS232CPort::ForgetReader(int milliseconds) {
    Platform& platform = *state_->platform;
    if (!platform.threadRecorded) {
        return;
    }
    if (state_->readerEnded.Wait(milliseconds)) {
        pthread_join(platform.thread, nullptr);
    } else {
        pthread_detach(platform.thread);
    }
    platform.threadRecorded = false;
}

uint32_t RS232CPort::GetInputQueueCount() {
    Platform& platform = *state_->platform;
    std::lock_guard<Mutex> guard(platform.portLock);
    int count = 0;
    if (platform.port < 0 || ioctl(platform.port, FIONREAD, &count) != 0 || count < 0) {
        return 0;
    }
    return static_cast<uint32_t>(count);
}

void RS232CPort::PrepareOpening(ReaderState& state) {
    Platform& platform = *state.platform;
    for (std::atomic<bool>& request : platform.requested) {
        request.store(false);
    }
    platform.DrainWakeUps();
    platform.ClearOperations();
}

bool RS232CPort::ServeRequests(ReaderState& state) {
    Platform& platform = *state.platform;
    for (;;) {
        if (platform.requested[kStopRequest].exchange(false)) {
            return true;
        } else if (platform.read.done) {
            if (!Platform::TakeCompletion(platform.read)) {
                return false;
            }
            state.receivedCount = static_cast<uint32_t>(platform.readFilled);
            state.readPending.store(false);
            if (state.receivedCount != 0) {
                Raise(state, PortEvent::DataReceived);
            }
        } else if (platform.requested[kReadRequest].exchange(false)) {
            if (!state.readPending.load()) {
                state.readPending.store(true);
                platform.read.inFlight = true;
                platform.readWanted = state.readSize.load();
                platform.readFilled = 0;
            }
        } else if (platform.write.done) {
            if (!Platform::TakeCompletion(platform.write)) {
                return false;
            }
            state.writeBusy.store(false);
            Raise(state, PortEvent::WriteDone);
        } else if (platform.requested[kWriteRequest].exchange(false)) {
            platform.write.inFlight = true;
            platform.write.done = state.transmitLength == 0;
            platform.writeSent = 0;
        } else if (platform.lineEvent.done) {
            if (!Platform::TakeCompletion(platform.lineEvent)) {
                return false;
            }
            state.lineEventWaitPending = false;
            int lines = 0;
            if (ioctl(platform.port, TIOCMGET, &lines) != 0) {
                lines = 0;
            }
            DispatchLineEvent(state, (lines & TIOCM_RI) != 0, (lines & TIOCM_CD) != 0);
            Signal(state, kLineEventRequest);
        } else if (platform.requested[kLineEventRequest].exchange(false)) {
            if (!state.lineEventWaitPending && state.lineEventsEnabled) {
                state.lineEventWaitPending = true;
                if (!platform.StartLineEventWait()) {
                    return false;
                }
            }
        } else if (!platform.AwaitProgress(state)) {
            return false;
        }
    }
}

void RS232CPort::ClosePort(ReaderState& state) {
    Platform& platform = *state.platform;
    std::lock_guard<Mutex> guard(platform.portLock);
    if (platform.port >= 0) {
        // The exclusive mode belongs to the device, not to this descriptor: it would outlive it.
        // An opening that never set it leaves it alone, for it may be another holder's.
        if (platform.exclusive) {
            ioctl(platform.port, TIOCNXCL);
            platform.exclusive = false;
        }
        RestoreLowLatency(platform.port, platform.lowLatency);
        platform.lowLatency = LowLatency();
        close(platform.port);
        platform.port = -1;
    }
}
