// ModUpdate1527's life, its port and the waits and event callback that every operation shares.
//
// Threads: the update thread runs every operation; the port's reader thread runs OnSerialEvent,
// which appends to g_receiveBuffer (serialised there) and writes readerActive (atomic). The live
// module is found through g_activeModule because the port's callback receives only the port.
//
// Link loss. Every wait of an operation is a ModulePause. When the reader thread ends on an I/O
// failure, OnSerialEvent raises the pause's LinkLost on the reader thread: the pause under way
// ends at once, and so does every later one until OpenPort clears it before the next opening. The
// operation that meets the loss reports it and fails, and the update run takes its way out.
#include "bootmode/mod_update_1527.h"

#include "bootmode/receive_buffer.h"
#include "bootmode/report_text.h"
#include "bootmode/transaction.h"
#include "serial/rs232c_port.h"

std::atomic<ModUpdate1527*> g_activeModule(nullptr);

namespace {

// WaitPortReady polls this often.
const int kReadyPollMilliseconds = 10;
// WaitSendDone polls this often, and gives up at this count whatever limit it was given: about
// 25 s, the longest any transmission may take.
const int kSendPollMilliseconds = 25;
const int kSendPollGiveUp = 1001;

}  // namespace

ModUpdate1527::ModUpdate1527()
    : errorCallback(nullptr),
      logCallback(nullptr),
      progressCallback(nullptr),
      readerActive(false),
      statusCallback(nullptr),
      port(),
      programmingState(false),
      portName() {
    g_activeModule.store(this);
    g_receiveBuffer.Clear();
}

ModUpdate1527::~ModUpdate1527() {
    if (port) {
        port->Close();
        port.reset();
    }
    ModUpdate1527* self = this;
    g_activeModule.compare_exchange_strong(self, nullptr);
}

void ModUpdate1527::CloseCom() {
    if (port) {
        port->Close();
    }
}

bool ModUpdate1527::WaitPortReady(int polls) {
    for (int i = 0; i < polls; ++i) {
        if (port && port->IsOpen() && readerActive.load()) {
            return true;
        }
        if (!Pause(kReadyPollMilliseconds)) {
            return false;
        }
    }
    return false;
}

bool ModUpdate1527::WaitSendDone(int limit) {
    int polls = 0;
    while (port && port->IsWriting() && port->IsReadPending()) {
        if (++polls == kSendPollGiveUp || !Pause(kSendPollMilliseconds)) {
            return false;
        }
    }
    return polls < limit;
}

bool ModUpdate1527::Pause(int milliseconds) {
    return pause.For(milliseconds);
}

int32_t ModUpdate1527::OpenPort(int bitRate) {
    // Only a reader thread of this opening can lose the link from here on: Open waits for the
    // previous one, which raised its Stopped before it ended.
    pause.Clear(PauseStop::LinkLost);
    return OpenBootLine(*port, portName, bitRate);
}

bool ModUpdate1527::ReportIfLost(const char* operation) {
    if (!pause.Holds(PauseStop::LinkLost)) {
        return false;
    }
    Report(errorCallback, FormatText("ModUpdate1527::%s() - The COM port was lost: its device "
                                     "has gone away !",
                                     operation));
    return true;
}

int32_t ModUpdate1527::OnSerialEvent(RS232CPort* eventPort, int32_t code) {
    if (eventPort == nullptr) {
        return 0;
    }
    switch (code) {
        case Started:
        case Stopped: {
            ModUpdate1527* module = g_activeModule.load();
            if (module != nullptr) {
                module->readerActive.store(code == Started);
                if (code == Stopped && eventPort->IsLost()) {
                    module->pause.Raise(PauseStop::LinkLost);
                }
            }
            break;
        }
        case DataReceived: {
            const int32_t count = eventPort->GetReceivedCount();
            if (count > 0) {
                g_receiveBuffer.Append(eventPort->GetReceiveBuffer(), static_cast<size_t>(count));
            }
            eventPort->RequestRead();
            break;
        }
        default:
            break;
    }
    return 0;
}
