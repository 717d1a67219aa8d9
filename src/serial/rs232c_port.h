// RS232CPort: one COM port whose own reader thread performs all of its I/O.
// Results come back through one event callback and four flags.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serial/serial_link.h"
#include "serial/thread_sync.h"

// Flow-control settings that replace Open's defaults. The 32-bit switches use their lowest bit.
// Software flow control stays off either way. A POSIX device takes only the handshake.
struct RS232COptions {
    bool hardwareHandshake;  // CTS/DSR output flow with DTR/RTS handshaking; else DTR/RTS off
    uint32_t errorCharReplacement;  // replace bytes received with a parity error
    uint32_t binaryMode;            // no end-of-file character processing
    uint32_t nullStripping;         // discard received zero bytes
    uint32_t abortOnError;          // stop reads and writes on a line error
    uint16_t xonLimit;              // input queue bytes at which XON would be sent
    uint16_t xoffLimit;             // free input queue bytes at which XOFF would be sent
    char xonChar;
    char xoffChar;
    char eventChar;
};

class RS232CPort final : public SerialLink {
public:
    static const int32_t kMaxReadSize = 256;
    static const int32_t kMaxWriteLength = 255;
    // Room for any name the port list produces (COM1..COM255) and for a POSIX device path.
    static const int kPortNameCapacity = 256;

    RS232CPort();
    // Waits up to 2000 ms for a reader thread that still runs, without asking it to stop. A thread
    // that outlives the wait is told to stop and never calls back into the destroyed object.
    ~RS232CPort() override;
    RS232CPort(const RS232CPort&) = delete;
    RS232CPort& operator=(const RS232CPort&) = delete;

    // Before Open: where the events go, and the context handed over with each.
    void SetEventCallback(RS232CEventCallback callback, void* context) override;

    // Opens the named device with the given line settings (parity 0 none, 1 odd, 2 even), no time-
    // outs and, without options, no flow control with DTR and RTS off, then starts the reader
    // thread. Returns an RS232COpenResult. IsOpen turns true only once the thread has started.
    // Call Close first: a previous reader thread that does not end within 2000 ms makes Open
    // refuse, so one object never has two reader threads. Requests left from a time when no
    // reader thread ran (a stop, a read, a write and its busy flag) are dropped, and IsLost is
    // cleared: each opening starts afresh.
    RS232COpenResult Open(const char* name, int32_t bitRate, int32_t parity, uint8_t byteSize,
                          bool lineEvents, const RS232COptions* options);
    RS232COpenResult Open(const char* name, int32_t bitRate, int32_t parity, uint8_t byteSize,
                          bool lineEvents) override {
        return Open(name, bitRate, parity, byteSize, lineEvents, nullptr);
    }
    // Why the last Open failed to open the device or to take it as a serial port; kind None after
    // an Open that got that far.
    const PortOpenProblem& LastOpenProblem() const override { return openProblem_; }
    // Asks the reader thread to stop, which closes the port, and waits up to 10000 ms for it. A
    // stop asked for while no reader thread runs is dropped by the next Open.
    void Close() override;
    // Opens the device on its own, without the reader thread, and sets each rate on it: on
    // Linux through termios2, read back and held to within 2 % of the rate; on Windows through
    // the DCB, read back the same way. None while a reader thread runs.
    std::vector<RefusedBitRate> RefusedBitRates(const char* name,
                                                const std::vector<int32_t>& bitRates) override;

    // Hands up to kMaxWriteLength bytes to the reader thread and returns at once. Silently
    // refused while IsWriting, for no data, and for a length outside 0..kMaxWriteLength. Bytes
    // handed over while no reader thread runs never go out: the next Open drops them.
    void Write(const uint8_t* data, int32_t length) override;
    // Lets the reader thread start the next read; none starts after a completed one until then.
    void RequestRead() override;

    const uint8_t* GetReceiveBuffer() const override;
    int32_t GetReceivedCount() const override;
    // Bytes each read waits for: 1 to kMaxReadSize; larger sizes give kMaxReadSize, smaller 1.
    void SetReadSize(int32_t size);
    // Bytes waiting in the driver's input queue; 0 when no port is open.
    uint32_t GetInputQueueCount();

    bool IsOpen() const override { return state_->running.load(); }
    bool IsWriting() const override { return state_->writeBusy.load(); }
    bool IsReadPending() const override { return state_->readPending.load(); }
    // True once the reader thread has left its loop on an I/O failure (the device went away, a
    // read, write or wait failed) rather than on a stop request; already so when Stopped is
    // raised. Cleared by the next Open.
    bool IsLost() const override { return state_->lost.load(); }

private:
    // Positions of the reader thread's wake-ups, in the order it serves them: indexes of the
    // platform's wait list.
    static constexpr int kStopRequest = 0;
    static constexpr int kReadDone = 1;
    static constexpr int kReadRequest = 2;
    static constexpr int kWriteCompletion = 3;
    static constexpr int kWriteRequest = 4;
    static constexpr int kLineEventDone = 5;
    static constexpr int kLineEventRequest = 6;
    static constexpr int kPositionCount = 7;

    // The line events a line-event wait reports: carrier-detect changes and ring.
    static const uint32_t kLineEventCarrier = 0x20;
    static const uint32_t kLineEventRing = 0x100;

    // The platform's port handle, wake-up events, request records and thread handle.
    struct Platform;
    // The reader thread's entry point in the platform's calling convention.
    struct ReaderEntry;

    struct PlatformDeleter {
        void operator()(Platform* platform) const;
    };

    // What the reader thread works on. The port and its reader thread share it, so a thread that
    // outlives Close's or the destructor's wait still stands on valid memory; the thread reaches
    // the port object only through `owner`, under `ownerLock`.
    struct ReaderState {
        ReaderState();

        std::atomic<bool> running;      // reader thread started and still in its loop
        std::atomic<bool> writeBusy;    // from Write until that write has completed
        std::atomic<bool> readPending;  // from the start of a read until its completion
        std::atomic<bool> lost;         // the reader thread ended on an I/O failure
        bool lineEventsEnabled;         // Open's request to watch ring and carrier detect
        bool lineEventWaitPending;      // reader thread only
        uint8_t receiveBuffer[kMaxReadSize + 1];
        std::atomic<int32_t> readSize;  // bytes each read waits for
        uint32_t receivedCount;         // bytes delivered by the last completed read
        uint8_t transmitBuffer[kMaxWriteLength + 1];
        int32_t transmitLength;
        uint32_t lineEventMask;  // line events reported by the last completed line-event wait
        std::atomic<RS232CEventCallback> callback;
        std::atomic<void*> callbackContext;
        Event readerEnded;  // set while no reader thread of this state runs
        Mutex ownerLock;    // held while an event is delivered
        RS232CPort* owner;  // none once the port object is being destroyed
        std::unique_ptr<Platform, PlatformDeleter> platform;
    };

    // Shared by both platforms.
    bool PreviousReaderEnded();
    bool StoreName(const char* name);
    static void RunReader(ReaderState& state);
    static void Raise(ReaderState& state, PortEvent event);
    static void DispatchLineEvent(ReaderState& state, bool ringOn, bool carrierOn);

    // Platform specific.
    static Platform* NewPlatform();
    static void Signal(ReaderState& state, int position);
    // Opens portName_ with the stored settings; an Open result.
    RS232COpenResult OpenDevice(uint8_t byteSize, const RS232COptions* options);
    bool EventsUsable() const;
    // RefusedBitRates for portName_.
    std::vector<RefusedBitRate> ProbeBitRates(const std::vector<int32_t>& bitRates) const;
    void StartReader();
    // Waits up to `milliseconds` for the reader thread that Open recorded, then forgets it.
    void ForgetReader(int milliseconds);
    // Drops the stop, read, write and line-event requests and readies the request records for a
    // new opening; only while no reader thread runs.
    static void PrepareOpening(ReaderState& state);
    // The reader thread's loop: true when it left on a stop request, false on an I/O failure.
    static bool ServeRequests(ReaderState& state);
    static void ClosePort(ReaderState& state);

    char portName_[kPortNameCapacity];
    PortOpenProblem openProblem_;
    int32_t bitRate_;
    int32_t parity_;
    std::shared_ptr<ReaderState> state_;
};
