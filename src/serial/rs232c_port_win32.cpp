// RS232CPort on Win32: an overlapped COM handle served by a reader thread that waits on seven
// events and starts every read, write and line-event wait itself.
//
// The seven events are the reader thread's wake-ups in the order it serves them. The requests
// (stop, read, write, line-event wait) are automatic-reset, belong to the port and stay signalled
// until a reader thread takes them or the next Open unsignals them. The completions (read, write,
// line event done) are manual-reset and belong to the current opening, with its request records
// and read buffer. Requests still in flight when the thread leaves its loop are cancelled and
// waited for, at most kCancelWaitMilliseconds in all, before the port is closed. A driver may
// never complete a cancelled request (a USB adapter pulled out): its completion could still land
// in that opening's records, event and buffer, so such an opening is abandoned, left allocated
// and never used again, and the next Open starts a new one.
#include "serial/rs232c_port.h"

#include <process.h>
#include <windows.h>

#include <cstring>
#include <mutex>
#include <string>

#include "serial/overlapped_request_win32.h"
#include "serial/text_conversion.h"

namespace {

// How long the reader thread waits for its cancelled requests before it closes the port.
const DWORD kCancelWaitMilliseconds = 500;

}  // namespace

struct RS232CPort::Platform {
    static_assert(kLineEventCarrier == EV_RLSD && kLineEventRing == EV_RING,
                  "line events are reported in the platform's bits");

    // The I/O of one opening: what the platform may write into while a request is in flight.
    struct Opening {
        Opening()
            : readRecord(), writeRecord(), lineEventRecord(), readBuffer(), reportedLineEvents(0) {
            readRecord.hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
            writeRecord.hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
            lineEventRecord.hEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
            Clear();
        }

        ~Opening() {
            for (OVERLAPPED* record : {&readRecord, &writeRecord, &lineEventRecord}) {
                if (record->hEvent != NULL) {
                    CloseHandle(record->hEvent);
                }
            }
        }

        Opening(const Opening&) = delete;
        Opening& operator=(const Opening&) = delete;

        // Only once every request of the last use has finished.
        void Clear() {
            for (OVERLAPPED* record : {&readRecord, &writeRecord, &lineEventRecord}) {
                HANDLE completion = record->hEvent;
                std::memset(record, 0, sizeof *record);
                record->hEvent = completion;
                // A completion left over from an earlier thread must not be taken for a new one.
                ResetEvent(completion);
            }
            readInFlight = writeInFlight = lineEventInFlight = false;
        }

        OVERLAPPED readRecord;  // its event is the read-done event
        OVERLAPPED writeRecord;
        OVERLAPPED lineEventRecord;
        uint8_t readBuffer[kMaxReadSize];
        DWORD reportedLineEvents;  // where the line-event wait reports
        bool readInFlight;         // started and its completion not yet fetched
        bool writeInFlight;
        bool lineEventInFlight;
    };

    static bool IsCompletion(int position) {
        return position == kReadDone || position == kWriteCompletion || position == kLineEventDone;
    }

    Platform() : port(INVALID_HANDLE_VALUE), thread(NULL), threadId(0) {
        for (int position = 0; position < kPositionCount; ++position) {
            events[position] =
                IsCompletion(position) ? NULL : CreateEventW(NULL, FALSE, FALSE, NULL);
        }
        UseNewOpening();
    }

    ~Platform() {
        if (port != INVALID_HANDLE_VALUE) {
            CloseHandle(port);
        }
        for (int position = 0; position < kPositionCount; ++position) {
            if (!IsCompletion(position) && events[position] != NULL &&
                events[position] != INVALID_HANDLE_VALUE) {
                CloseHandle(events[position]);
            }
            events[position] = INVALID_HANDLE_VALUE;
        }
    }

    void UseNewOpening() {
        opening.reset(new Opening);
        events[kReadDone] = opening->readRecord.hEvent;
        events[kWriteCompletion] = opening->writeRecord.hEvent;
        events[kLineEventDone] = opening->lineEventRecord.hEvent;
    }

    // Leaves the opening to a request that may still complete into it: deliberately leaked.
    void AbandonOpening() {
        static_cast<void>(opening.release());
        events[kReadDone] = events[kWriteCompletion] = events[kLineEventDone] = NULL;
    }

    // The wait list: the request positions are the port's, the completion positions the opening's.
    HANDLE events[kPositionCount];
    Mutex portLock;  // GetInputQueueCount against the reader thread's close
    HANDLE port;
    HANDLE thread;  // owner only
    unsigned threadId;
    std::unique_ptr<Opening> opening;  // the reader thread's while one runs, else the owner's
};

struct RS232CPort::ReaderEntry {
    static unsigned __stdcall Run(void* handOver) {
        std::shared_ptr<ReaderState>* state = static_cast<std::shared_ptr<ReaderState>*>(handOver);
        RunReader(**state);
        delete state;
        return 0;
    }
};

namespace {

// The system's own text for an error, without its line end.
std::string SystemText(DWORD error) {
    char* text = NULL;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        NULL, error, 0, reinterpret_cast<char*>(&text), 0, NULL);
    std::string message = length > 0 ? std::string(text, length) : std::string();
    if (text != NULL) {
        LocalFree(text);
    }
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "system error " + std::to_string(error) : message;
}

bool IsInDeviceNamespace(const char* name) {
    return std::strncmp(name, "\\\\.\\", 4) == 0;
}

// The device namespace opens COM10 and above too, which a bare name cannot reach; a name given in
// it already is taken as it is.
std::wstring DeviceName(const char* portName) {
    return AnsiToWide(
        (std::string("\\\\.\\") + (portName + (IsInDeviceNamespace(portName) ? 4 : 0))).c_str());
}

// A driver that runs the line this far off the rate asked for has not taken it: two UARTs
// apart by more stop understanding each other's frames.
const DWORD kLargestRateErrorPercent = 2;

// Whether the driver runs `bitRate`, set on the port as the rest of `settings` has it; why not,
// if not.
bool RateRun(HANDLE port, DCB settings, int32_t bitRate, std::string* why) {
    settings.BaudRate = static_cast<DWORD>(bitRate);
    if (!SetCommState(port, &settings)) {
        *why = "the driver refused it: " + SystemText(GetLastError());
        return false;
    }
    DCB taken;
    taken.DCBlength = sizeof taken;
    if (!GetCommState(port, &taken)) {
        *why = "the driver does not tell its rate: " + SystemText(GetLastError());
        return false;
    }
    const DWORD wanted = settings.BaudRate;
    const DWORD off = taken.BaudRate > wanted ? taken.BaudRate - wanted : wanted - taken.BaudRate;
    if (off * 100 > wanted * kLargestRateErrorPercent) {
        *why = "the driver runs the line at " + std::to_string(taken.BaudRate) + " bps instead";
        return false;
    }
    return true;
}

// A COM port that another program has open is refused with access denied: nobody may share it.
PortOpenProblem ProblemOpening(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return {PortProblem::NoSuchPort, std::string()};
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return {PortProblem::Busy, std::string()};
        default:
            return {PortProblem::Other, SystemText(error)};
    }
}

// Takes the completion that a request record's event announces. The event may be seen before the
// request has finished: it is then reset and the request looked at once more, so that the loop
// neither spins on it nor misses a completion that comes in between.
Fetch TakeCompletion(HANDLE port, OVERLAPPED* record, DWORD* count, bool* inFlight) {
    Fetch fetch = FetchResult(port, record, count);
    if (fetch == Fetch::NotYet) {
        ResetEvent(record->hEvent);
        fetch = FetchResult(port, record, count);
    }
    if (fetch == Fetch::Completed) {
        ResetEvent(record->hEvent);
    }
    if (fetch != Fetch::NotYet) {
        *inFlight = false;
    }
    return fetch;
}

// A start either completes at once or is pending; its completion event is signalled either way.
bool StartedRequest(BOOL completedAtOnce, bool* inFlight) {
    *inFlight = completedAtOnce || GetLastError() == ERROR_IO_PENDING;
    return *inFlight;
}

DCB BuildLineSettings(int32_t bitRate, int32_t parity, uint8_t byteSize,
                      const RS232COptions* options) {
    DCB settings;
    std::memset(&settings, 0, sizeof settings);
    settings.DCBlength = sizeof settings;
    settings.BaudRate = static_cast<DWORD>(bitRate);
    settings.ByteSize = byteSize;
    settings.StopBits = ONESTOPBIT;
    settings.Parity = parity == 1 ? ODDPARITY : parity == 2 ? EVENPARITY : NOPARITY;
    settings.fParity = parity == 1 || parity == 2;
    settings.fBinary = 1;
    settings.fDtrControl = DTR_CONTROL_DISABLE;
    settings.fRtsControl = RTS_CONTROL_DISABLE;
    settings.XonLim = 2;
    settings.XoffLim = 4;
    settings.XonChar = 0x13;
    settings.XoffChar = 0x19;
    if (options != nullptr) {
        bool handshake = options->hardwareHandshake;
        settings.fOutxCtsFlow = handshake;
        settings.fOutxDsrFlow = handshake;
        settings.fDtrControl = handshake ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE;
        settings.fRtsControl = handshake ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
        settings.fErrorChar = options->errorCharReplacement & 1;
        settings.fBinary = options->binaryMode & 1;
        settings.fNull = options->nullStripping & 1;
        settings.fAbortOnError = options->abortOnError & 1;
        settings.XonLim = options->xonLimit;
        settings.XoffLim = options->xoffLimit;
        settings.XonChar = options->xonChar;
        settings.XoffChar = options->xoffChar;
        settings.EvtChar = options->eventChar;
    }
    return settings;
}

}  // namespace

void RS232CPort::PlatformDeleter::operator()(Platform* platform) const {
    delete platform;
}

RS232CPort::Platform* RS232CPort::NewPlatform() {
    return new Platform;
}

void RS232CPort::Signal(ReaderState& state, int position) {
    SetEvent(state.platform->events[position]);
}

RS232COpenResult RS232CPort::OpenDevice(uint8_t byteSize, const RS232COptions* options) {
    Platform& platform = *state_->platform;
    COMMTIMEOUTS noTimeouts = {0, 0, 0, 0, 0};
    DCB settings = BuildLineSettings(bitRate_, parity_, byteSize, options);

    HANDLE port = CreateFileW(DeviceName(portName_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, NULL);
    {
        std::lock_guard<Mutex> guard(platform.portLock);
        platform.port = port;
    }
    if (port == INVALID_HANDLE_VALUE) {
        openProblem_ = ProblemOpening(GetLastError());
        return RS232COpenResult::DeviceNotOpened;
    }
    DCB current;
    current.DCBlength = sizeof current;
    // NUL and files open too, but have no line settings to read.
    if (GetFileType(port) != FILE_TYPE_CHAR || !GetCommState(port, &current)) {
        openProblem_ = {PortProblem::NotSerial, std::string()};
        return RS232COpenResult::LineSettingsRefused;
    }
    RS232COpenResult result = RS232COpenResult::PortOpened;
    if (!SetCommMask(port, state_->lineEventsEnabled ? kLineEventCarrier | kLineEventRing : 0)) {
        result = RS232COpenResult::LineEventMaskRefused;
    }
    if (!SetCommTimeouts(port, &noTimeouts)) {
        result = RS232COpenResult::TimeoutsRefused;
    }
    if (!SetCommState(port, &settings)) {
        // The driver judges the rate; the other settings are the boot program's plain 8N1.
        openProblem_ = {PortProblem::RateRefused,
                        "the driver refused it: " + SystemText(GetLastError())};
        result = RS232COpenResult::LineSettingsRefused;
    }
    return result;
}

std::vector<RefusedBitRate> RS232CPort::ProbeBitRates(const std::vector<int32_t>& bitRates) const {
    std::vector<RefusedBitRate> refused;
    // Opened without sharing, as Open does: a port that another program has open is left alone.
    HANDLE port = CreateFileW(DeviceName(portName_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (port == INVALID_HANDLE_VALUE) {
        return refused;
    }
    DCB saved;
    saved.DCBlength = sizeof saved;
    if (GetFileType(port) == FILE_TYPE_CHAR && GetCommState(port, &saved)) {
        for (const int32_t bitRate : bitRates) {
            std::string why;
            if (!RateRun(port, saved, bitRate, &why)) {
                refused.push_back({bitRate, why});
            }
        }
        SetCommState(port, &saved);
    }
    CloseHandle(port);
    return refused;
}

bool RS232CPort::EventsUsable() const {
    for (HANDLE event : state_->platform->events) {
        if (event == NULL || event == INVALID_HANDLE_VALUE) {
            return false;
        }
    }
    return true;
}

void RS232CPort::StartReader() {
    Platform& platform = *state_->platform;
    state_->readerEnded.Reset();
    std::shared_ptr<ReaderState>* handOver = new std::shared_ptr<ReaderState>(state_);
    unsigned threadId = 0;
    std::uintptr_t thread = _beginthreadex(NULL, 0, &ReaderEntry::Run, handOver, 0, &threadId);
    if (thread == 0) {
        // Not reported: IsOpen never turns true, and the caller's wait for it runs out.
        delete handOver;
        state_->readerEnded.Set();
        return;
    }
    platform.thread = reinterpret_cast<HANDLE>(thread);
    platform.threadId = threadId;
}

void RS232CPort::ForgetReader(int milliseconds) {
    Platform& platform = *state_->platform;
    if (platform.thread == NULL) {
        return;
    }
    // Not the thread handle: Windows holds an exiting thread until its cancelled requests have
    // completed, which the driver of a removed device may never do, long after the thread has
    // finished with the port.
    state_->readerEnded.Wait(milliseconds);
    CloseHandle(platform.thread);
    platform.thread = NULL;
}

uint32_t RS232CPort::GetInputQueueCount() {
    Platform& platform = *state_->platform;
    std::lock_guard<Mutex> guard(platform.portLock);
    DWORD errors = 0;
    COMSTAT status;
    if (platform.port == INVALID_HANDLE_VALUE || !ClearCommError(platform.port, &errors, &status)) {
        return 0;
    }
    return status.cbInQue;
}

void RS232CPort::PrepareOpening(ReaderState& state) {
    Platform& platform = *state.platform;
    for (int request : {kStopRequest, kReadRequest, kWriteRequest, kLineEventRequest}) {
        ResetEvent(platform.events[request]);
    }
    if (!platform.opening) {
        platform.UseNewOpening();
    }
    platform.opening->Clear();
}

bool RS232CPort::ServeRequests(ReaderState& state) {
    Platform& platform = *state.platform;
    Platform::Opening& opening = *platform.opening;
    for (;;) {
        DWORD signalled = WaitForMultipleObjects(kPositionCount, platform.events, FALSE, INFINITE);
        DWORD count = 0;
        switch (signalled) {
            case WAIT_OBJECT_0 + kStopRequest:
                return true;
            case WAIT_OBJECT_0 + kReadDone: {
                Fetch fetch = TakeCompletion(platform.port, &opening.readRecord, &count,
                                             &opening.readInFlight);
                if (fetch == Fetch::Failed) {
                    return false;
                }
                if (fetch == Fetch::Completed) {
                    std::memcpy(state.receiveBuffer, opening.readBuffer, count);
                    state.receivedCount = count;
                    state.readPending.store(false);
                    if (count != 0) {
                        Raise(state, PortEvent::DataReceived);
                    }
                }
                break;
            }
            case WAIT_OBJECT_0 + kReadRequest:
                if (state.readPending.load()) {
                    break;
                }
                state.readPending.store(true);
                if (!StartedRequest(ReadFile(platform.port, opening.readBuffer,
                                             static_cast<DWORD>(state.readSize.load()), NULL,
                                             &opening.readRecord),
                                    &opening.readInFlight)) {
                    return false;
                }
                break;
            case WAIT_OBJECT_0 + kWriteCompletion: {
                Fetch fetch = TakeCompletion(platform.port, &opening.writeRecord, &count,
                                             &opening.writeInFlight);
                if (fetch == Fetch::Failed) {
                    return false;
                }
                if (fetch == Fetch::Completed) {
                    state.writeBusy.store(false);
                    Raise(state, PortEvent::WriteDone);
                }
                break;
            }
            case WAIT_OBJECT_0 + kWriteRequest:
                if (!StartedRequest(WriteFile(platform.port, state.transmitBuffer,
                                              static_cast<DWORD>(state.transmitLength), NULL,
                                              &opening.writeRecord),
                                    &opening.writeInFlight)) {
                    return false;
                }
                break;
            case WAIT_OBJECT_0 + kLineEventDone: {
                Fetch fetch = TakeCompletion(platform.port, &opening.lineEventRecord, &count,
                                             &opening.lineEventInFlight);
                if (fetch == Fetch::Failed) {
                    return false;
                }
                if (fetch == Fetch::Completed) {
                    state.lineEventWaitPending = false;
                    state.lineEventMask = opening.reportedLineEvents;
                    DWORD modemStatus = 0;
                    GetCommModemStatus(platform.port, &modemStatus);
                    DispatchLineEvent(state, (modemStatus & MS_RING_ON) != 0,
                                      (modemStatus & MS_RLSD_ON) != 0);
                    SetEvent(platform.events[kLineEventRequest]);
                }
                break;
            }
            case WAIT_OBJECT_0 + kLineEventRequest:
                if (state.lineEventWaitPending || !state.lineEventsEnabled) {
                    break;
                }
                state.lineEventWaitPending = true;
                if (!StartedRequest(WaitCommEvent(platform.port, &opening.reportedLineEvents,
                                                  &opening.lineEventRecord),
                                    &opening.lineEventInFlight)) {
                    return false;
                }
                break;
            default:
                return false;
        }
    }
}

void RS232CPort::ClosePort(ReaderState& state) {
    Platform& platform = *state.platform;
    if (platform.port == INVALID_HANDLE_VALUE) {
        return;
    }
    Platform::Opening& opening = *platform.opening;
    OVERLAPPED* inFlight[3];
    size_t count = 0;
    if (opening.readInFlight) {
        inFlight[count++] = &opening.readRecord;
    }
    if (opening.writeInFlight) {
        inFlight[count++] = &opening.writeRecord;
    }
    if (opening.lineEventInFlight) {
        inFlight[count++] = &opening.lineEventRecord;
    }
    CancelIo(platform.port);
    const bool settled = AwaitRequests(inFlight, count, kCancelWaitMilliseconds);
    opening.readInFlight = opening.writeInFlight = opening.lineEventInFlight = false;
    {
        std::lock_guard<Mutex> guard(platform.portLock);
        CloseHandle(platform.port);
        platform.port = INVALID_HANDLE_VALUE;
    }
    if (!settled) {
        platform.AbandonOpening();
    }
}
