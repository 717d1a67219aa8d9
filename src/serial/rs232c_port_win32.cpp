// RS232CPort on Win32: an overlapped COM handle served by a reader thread that waits on seven
// events and starts every read, write and line-event wait itself.
//
// The seven events are the reader thread's wake-ups in the order it serves them: the requests
// (stop, read, write, line-event wait) are automatic-reset and stay signalled until a reader
// thread takes them; the completions (read, write, line event done) are manual-reset and belong
// to the request records. Open unsignals the requests before it starts a reader thread, so none
// made while no reader thread ran is carried out. Requests still in flight when the thread leaves
// its loop are cancelled and waited for before the port is closed, so no completion lands in a
// record or buffer later.
#include "serial/rs232c_port.h"

#include <process.h>
#include <windows.h>

#include <cstring>
#include <mutex>

#include "serial/text_conversion.h"

struct RS232CPort::Platform {
    static_assert(kLineEventCarrier == EV_RLSD && kLineEventRing == EV_RING,
                  "line events are reported in the platform's bits");

    Platform() : port(INVALID_HANDLE_VALUE), thread(NULL), threadId(0) {
        for (int position = 0; position < kPositionCount; ++position) {
            bool manualReset =
                position == ReadDone || position == WriteCompletion || position == LineEventDone;
            events[position] = CreateEventW(NULL, manualReset ? TRUE : FALSE, FALSE, NULL);
        }
        ClearRecords();
    }

    ~Platform() {
        if (port != INVALID_HANDLE_VALUE) {
            CloseHandle(port);
        }
        for (HANDLE& event : events) {
            if (event != NULL && event != INVALID_HANDLE_VALUE) {
                CloseHandle(event);
            }
            event = INVALID_HANDLE_VALUE;
        }
    }

    void ClearRecords() {
        std::memset(&readRecord, 0, sizeof readRecord);
        std::memset(&writeRecord, 0, sizeof writeRecord);
        std::memset(&lineEventRecord, 0, sizeof lineEventRecord);
        readRecord.hEvent = events[ReadDone];
        writeRecord.hEvent = events[WriteCompletion];
        lineEventRecord.hEvent = events[LineEventDone];
        readInFlight = writeInFlight = lineEventInFlight = false;
        // A completion left over from an earlier thread must not be taken for a new one.
        ResetEvent(events[ReadDone]);
        ResetEvent(events[WriteCompletion]);
        ResetEvent(events[LineEventDone]);
    }

    HANDLE events[kPositionCount];
    Mutex portLock;  // GetInputQueueCount against the reader thread's close
    HANDLE port;
    HANDLE thread;  // owner only
    unsigned threadId;

    // Reader thread only.
    OVERLAPPED readRecord;
    OVERLAPPED writeRecord;
    OVERLAPPED lineEventRecord;
    DWORD reportedLineEvents;  // where the line-event wait reports
    bool readInFlight;         // started and its completion not yet fetched
    bool writeInFlight;
    bool lineEventInFlight;
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

enum Fetch { Completed, NotYet, Failed };

// The result of a finished request without waiting for one that is not.
Fetch FetchResult(HANDLE port, OVERLAPPED* record, DWORD* count, bool* inFlight) {
    if (GetOverlappedResult(port, record, count, FALSE)) {
        *inFlight = false;
        return Completed;
    }
    if (GetLastError() == ERROR_IO_PENDING) {
        return NotYet;
    }
    *inFlight = false;
    return Failed;
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

void RS232CPort::Signal(ReaderState& state, Position position) {
    SetEvent(state.platform->events[position]);
}

int32_t RS232CPort::OpenDevice(uint8_t byteSize, const RS232COptions* options) {
    Platform& platform = *state_->platform;
    COMMTIMEOUTS noTimeouts = {0, 0, 0, 0, 0};
    DCB settings = BuildLineSettings(bitRate_, parity_, byteSize, options);

    // The device namespace opens COM10 and above too, which a bare name cannot reach.
    char deviceName[sizeof portName_ + 4] = "\\\\.\\";
    std::strcat(deviceName, portName_);
    HANDLE port = CreateFileW(AnsiToWide(deviceName), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, NULL);
    {
        std::lock_guard<Mutex> guard(platform.portLock);
        platform.port = port;
    }
    if (port == INVALID_HANDLE_VALUE) {
        return DeviceNotOpened;
    }
    int32_t result = PortOpened;
    if (!SetCommMask(port, state_->lineEventsEnabled ? kLineEventCarrier | kLineEventRing : 0)) {
        result = LineEventMaskRefused;
    }
    if (!SetCommTimeouts(port, &noTimeouts)) {
        result = TimeoutsRefused;
    }
    if (!SetCommState(port, &settings)) {
        result = LineSettingsRefused;
    }
    return result;
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
    WaitForSingleObject(platform.thread, static_cast<DWORD>(milliseconds));
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
    for (Position request : {StopRequest, ReadRequest, WriteRequest, LineEventRequest}) {
        ResetEvent(platform.events[request]);
    }
    platform.ClearRecords();
}

bool RS232CPort::ServeRequests(ReaderState& state) {
    Platform& platform = *state.platform;
    for (;;) {
        DWORD signalled = WaitForMultipleObjects(kPositionCount, platform.events, FALSE, INFINITE);
        DWORD count = 0;
        switch (signalled) {
            case WAIT_OBJECT_0 + StopRequest:
                return true;
            case WAIT_OBJECT_0 + ReadDone: {
                Fetch fetch = FetchResult(platform.port, &platform.readRecord, &count,
                                          &platform.readInFlight);
                if (fetch == Failed) {
                    return false;
                }
                if (fetch == Completed) {
                    ResetEvent(platform.events[ReadDone]);
                    state.receivedCount = count;
                    state.readPending.store(false);
                    if (count != 0) {
                        Raise(state, DataReceived);
                    }
                }
                break;
            }
            case WAIT_OBJECT_0 + ReadRequest:
                if (state.readPending.load()) {
                    break;
                }
                state.readPending.store(true);
                if (!StartedRequest(ReadFile(platform.port, state.receiveBuffer,
                                             static_cast<DWORD>(state.readSize.load()), NULL,
                                             &platform.readRecord),
                                    &platform.readInFlight)) {
                    return false;
                }
                break;
            case WAIT_OBJECT_0 + WriteCompletion: {
                Fetch fetch = FetchResult(platform.port, &platform.writeRecord, &count,
                                          &platform.writeInFlight);
                if (fetch == Failed) {
                    return false;
                }
                if (fetch == Completed) {
                    ResetEvent(platform.events[WriteCompletion]);
                    state.writeBusy.store(false);
                    Raise(state, WriteDone);
                }
                break;
            }
            case WAIT_OBJECT_0 + WriteRequest:
                if (!StartedRequest(WriteFile(platform.port, state.transmitBuffer,
                                              static_cast<DWORD>(state.transmitLength), NULL,
                                              &platform.writeRecord),
                                    &platform.writeInFlight)) {
                    return false;
                }
                break;
            case WAIT_OBJECT_0 + LineEventDone: {
                Fetch fetch = FetchResult(platform.port, &platform.lineEventRecord, &count,
                                          &platform.lineEventInFlight);
                if (fetch == Failed) {
                    return false;
                }
                if (fetch == Completed) {
                    ResetEvent(platform.events[LineEventDone]);
                    state.lineEventWaitPending = false;
                    state.lineEventMask = platform.reportedLineEvents;
                    DWORD modemStatus = 0;
                    GetCommModemStatus(platform.port, &modemStatus);
                    DispatchLineEvent(state, (modemStatus & MS_RING_ON) != 0,
                                      (modemStatus & MS_RLSD_ON) != 0);
                    SetEvent(platform.events[LineEventRequest]);
                }
                break;
            }
            case WAIT_OBJECT_0 + LineEventRequest:
                if (state.lineEventWaitPending || !state.lineEventsEnabled) {
                    break;
                }
                state.lineEventWaitPending = true;
                if (!StartedRequest(WaitCommEvent(platform.port, &platform.reportedLineEvents,
                                                  &platform.lineEventRecord),
                                    &platform.lineEventInFlight)) {
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
    CancelIo(platform.port);
    DWORD count = 0;
    if (platform.readInFlight) {
        GetOverlappedResult(platform.port, &platform.readRecord, &count, TRUE);
    }
    if (platform.writeInFlight) {
        GetOverlappedResult(platform.port, &platform.writeRecord, &count, TRUE);
    }
    if (platform.lineEventInFlight) {
        GetOverlappedResult(platform.port, &platform.lineEventRecord, &count, TRUE);
    }
    platform.readInFlight = platform.writeInFlight = platform.lineEventInFlight = false;
    std::lock_guard<Mutex> guard(platform.portLock);
    CloseHandle(platform.port);
    platform.port = INVALID_HANDLE_VALUE;
}
