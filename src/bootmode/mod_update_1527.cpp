// ModUpdate1527's life, its port and the waits and event callback that every operation shares.
//
// Threads: the update thread runs every operation; the port's reader thread runs OnSerialEvent,
// which appends to g_receiveBuffer (serialised there) and writes readerActive (atomic). The live
// module is found through g_activeModule because the port's callback receives only the port.
#include "bootmode/mod_update_1527.h"

#include "bootmode/receive_buffer.h"
#include "serial/rs232c_port.h"
#include "serial/thread_sync.h"

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
        SleepMilliseconds(kReadyPollMilliseconds);
    }
    return false;
}

bool ModUpdate1527::WaitSendDone(int limit) {
    int polls = 0;
    while (port && port->IsWriting() && port->IsReadPending()) {
        if (++polls == kSendPollGiveUp) {
            return false;
        }
        SleepMilliseconds(kSendPollMilliseconds);
    }
    return polls < limit;
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
