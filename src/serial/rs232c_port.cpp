// RS232CPort's platform-free half: the request hand-over from the caller, event delivery, Open's
// order of steps and the reader thread's start and end.
//
// Thread design. The caller's thread owns portName_, openProblem_, bitRate_, parity_ and the
// recorded reader thread; everything the reader thread touches lives in the ReaderState that both
// share, so a thread that outlives its port object still works on valid memory. The caller hands
// requests over through latched, auto-reset wake-ups (stop, read, write, line-event wait): Write
// fills the transmit buffer and length before it signals, and accepts nothing new while write busy
// is set. A request stays latched until the reader thread takes it; one made while no reader thread
// runs is dropped by the next Open, so a new opening never carries out a stop or sends a frame
// meant for the last one. The reader thread writes the receive buffer and count before it raises
// DataReceived and starts no read into the buffer until RequestRead. running, write busy, read
// pending and lost are atomics that one thread writes and the other polls; the read size is
// atomic because SetReadSize may come at any time.
//
// Shutdown. Close signals the stop request and waits up to 10000 ms; the reader thread leaves its
// loop, closes the port, raises Stopped and sets readerEnded. A thread that leaves its loop on an
// I/O failure instead sets lost first, so that the Stopped callback can tell a lost device from a
// Close. Events reach the callback under ownerLock; the destructor takes that lock to clear
// `owner`, so no callback runs on a destroyed port, and tells a thread that outlived its wait to
// stop. Open first waits for readerEnded, so one object never runs two reader threads over the
// same state, and only then clears the requests and lost.
#include "serial/rs232c_port.h"

#include <cstring>
#include <mutex>

namespace {

// How long Open and the destructor wait for a reader thread to end, and how long Close waits.
const int kReaderEndWaitMilliseconds = 2000;
const int kCloseWaitMilliseconds = 10000;

}  // namespace

RS232CPort::ReaderState::ReaderState()
    : running(false),
      writeBusy(false),
      readPending(false),
      lost(false),
      lineEventsEnabled(false),
      lineEventWaitPending(false),
      receiveBuffer(),
      readSize(1),
      receivedCount(0),
      transmitBuffer(),
      transmitLength(0),
      lineEventMask(0),
      callback(nullptr),
      callbackContext(nullptr),
      owner(nullptr),
      platform(NewPlatform()) {
    readerEnded.Set();
}

RS232CPort::RS232CPort()
    : portName_(),
      openProblem_(),
      bitRate_(0),
      parity_(0),
      state_(std::make_shared<ReaderState>()) {
    state_->owner = this;
}

RS232CPort::~RS232CPort() {
    ForgetReader(kReaderEndWaitMilliseconds);
    {
        std::lock_guard<Mutex> guard(state_->ownerLock);
        state_->owner = nullptr;
    }
    // Nobody is left to stop a thread that outlived the wait, and it would hold the device.
    if (!state_->readerEnded.Wait(0)) {
        Signal(*state_, kStopRequest);
    }
}

void RS232CPort::SetEventCallback(RS232CEventCallback callback, void* context) {
    state_->callbackContext.store(context);
    state_->callback.store(callback);
}

RS232COpenResult RS232CPort::Open(const char* name, int32_t bitRate, int32_t parity,
                                  uint8_t byteSize, bool lineEvents, const RS232COptions* options) {
    // A reader thread that still runs owns the port handle: never close it under the thread.
    if (!PreviousReaderEnded()) {
        return RS232COpenResult::DeviceNotOpened;
    }
    // Nothing of an earlier opening carries over: no request, no write, no loss.
    PrepareOpening(*state_);
    openProblem_ = PortOpenProblem();
    state_->writeBusy.store(false);
    state_->lost.store(false);
    ClosePort(*state_);
    RS232COpenResult result = RS232COpenResult::NoPortName;
    if (name != nullptr) {
        result = RS232COpenResult::DeviceNotOpened;
        if (StoreName(name)) {
            bitRate_ = bitRate;
            parity_ = parity;
            state_->lineEventsEnabled = lineEvents;
            result = OpenDevice(byteSize, options);
        }
    }
    if (!EventsUsable()) {
        result = RS232COpenResult::EventsReleased;
    }
    if (result != RS232COpenResult::PortOpened) {
        ClosePort(*state_);
        return result;
    }
    StartReader();
    return RS232COpenResult::PortOpened;
}

void RS232CPort::Close() {
    Signal(*state_, kStopRequest);
    ForgetReader(kCloseWaitMilliseconds);
}

std::vector<RefusedBitRate> RS232CPort::RefusedBitRates(const char* name,
                                                        const std::vector<int32_t>& bitRates) {
    // A running reader thread owns the device and its settings.
    if (name == nullptr || !state_->readerEnded.Wait(0) || !StoreName(name)) {
        return {};
    }
    return ProbeBitRates(bitRates);
}

void RS232CPort::Write(const uint8_t* data, int32_t length) {
    ReaderState& state = *state_;
    if (state.writeBusy.load() || data == nullptr || length < 0 || length > kMaxWriteLength) {
        return;
    }
    state.writeBusy.store(true);
    std::memcpy(state.transmitBuffer, data, static_cast<size_t>(length));
    state.transmitLength = length;
    Signal(state, kWriteRequest);
}

void RS232CPort::RequestRead() {
    Signal(*state_, kReadRequest);
}

const uint8_t* RS232CPort::GetReceiveBuffer() const {
    return state_->receiveBuffer;
}

int32_t RS232CPort::GetReceivedCount() const {
    return static_cast<int32_t>(state_->receivedCount);
}

void RS232CPort::SetReadSize(int32_t size) {
    // Below 1 a read would either never deliver or, as an unsigned count, overrun the buffer.
    if (size < 1) {
        size = 1;
    } else if (size > kMaxReadSize) {
        size = kMaxReadSize;
    }
    state_->readSize.store(size);
}

bool RS232CPort::PreviousReaderEnded() {
    if (!state_->readerEnded.Wait(kReaderEndWaitMilliseconds)) {
        return false;
    }
    ForgetReader(kReaderEndWaitMilliseconds);
    return true;
}

bool RS232CPort::StoreName(const char* name) {
    size_t length = std::strlen(name);
    // A cut-off name could open another device than the one asked for.
    if (length >= sizeof portName_) {
        return false;
    }
    std::memset(portName_, 0, sizeof portName_);
    std::memcpy(portName_, name, length);
    return true;
}

void RS232CPort::RunReader(ReaderState& state) {
    state.running.store(true);
    // Write busy is left alone: Open cleared it, and a Write since then is this thread's to serve.
    state.readPending.store(false);
    state.lineEventWaitPending = false;
    Raise(state, PortEvent::Started);
    Signal(state, kReadRequest);
    if (state.lineEventsEnabled) {
        Signal(state, kLineEventRequest);
    }
    state.lost.store(!ServeRequests(state));
    state.running.store(false);
    ClosePort(state);
    Raise(state, PortEvent::Stopped);
    state.readerEnded.Set();
}

void RS232CPort::Raise(ReaderState& state, PortEvent event) {
    std::lock_guard<Mutex> guard(state.ownerLock);
    RS232CEventCallback callback = state.callback.load();
    if (state.owner != nullptr && callback != nullptr) {
        callback(state.owner, static_cast<int32_t>(event), state.callbackContext.load());
    }
}

void RS232CPort::DispatchLineEvent(ReaderState& state, bool ringOn, bool carrierOn) {
    if ((state.lineEventMask & kLineEventRing) != 0 && ringOn) {
        Raise(state, PortEvent::Ring);
    }
    if ((state.lineEventMask & kLineEventCarrier) != 0) {
        Raise(state, carrierOn ? PortEvent::CarrierOn : PortEvent::CarrierOff);
    }
}
