// The boot protocol's transaction: empty, send, fixed delay, bounded send wait, judge.
#include "bootmode/transaction.h"

#include "bootmode/mod_update_1527.h"
#include "bootmode/receive_buffer.h"
#include "serial/rs232c_port.h"

namespace {

const int32_t kNoParity = 0;
const uint8_t kDataBits = 8;

}  // namespace

int32_t OpenBootLine(RS232CPort& port, const std::string& name, int bitRate) {
    return port.Open(name.c_str(), bitRate, kNoParity, kDataBits, false);
}

void SendFrame(RS232CPort& port, const uint8_t* frame, size_t length) {
    g_receiveBuffer.Clear();
    port.Write(frame, static_cast<int32_t>(length));
}

std::vector<uint8_t> Transact(ModUpdate1527& module, RS232CPort& port, const uint8_t* frame,
                              size_t length, int delayMilliseconds, int sendLimit) {
    SendFrame(port, frame, length);
    module.Pause(delayMilliseconds);
    module.WaitSendDone(sendLimit);
    return g_receiveBuffer.Snapshot();
}

std::vector<uint8_t> Transact(ModUpdate1527& module, RS232CPort& port, uint8_t command,
                              int delayMilliseconds, int sendLimit) {
    return Transact(module, port, &command, 1, delayMilliseconds, sendLimit);
}

bool StartsWith(const std::vector<uint8_t>& reply, uint8_t first) {
    return !reply.empty() && reply[0] == first;
}
