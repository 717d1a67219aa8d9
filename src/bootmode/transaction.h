// The send-and-inspect transaction of the boot protocol and the line settings of every opening.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class ModUpdate1527;
class RS232CPort;

// Opening and closing the port at this rate is what resets the board into its boot program, and
// reboots it after programming.
constexpr int kResetBitRate = 19200;
// Every wait for a freshly opened port polls this often, 10 ms apart.
constexpr int kReadyPolls = 1000;
constexpr uint8_t kAck = 0x06;

// Opens the port with the boot program's line settings (8 data bits, no parity, no line events,
// default flow control) at `bitRate`; an RS232COpenResult.
int32_t OpenBootLine(RS232CPort& port, const std::string& name, int bitRate);

// Empties the receive buffer, then hands the whole frame to the port, so that no early reply is
// thrown away.
void SendFrame(RS232CPort& port, const uint8_t* frame, size_t length);

// One transaction: SendFrame, pause for the command's fixed delay, wait for the transmission with
// the command's limit, and return whatever has arrived since the buffer was emptied. Both waits
// end at once when the link is lost; the caller asks the module whether it was.
std::vector<uint8_t> Transact(ModUpdate1527& module, RS232CPort& port, const uint8_t* frame,
                              size_t length, int delayMilliseconds, int sendLimit);
std::vector<uint8_t> Transact(ModUpdate1527& module, RS232CPort& port, uint8_t command,
                              int delayMilliseconds, int sendLimit);

// True when a reply arrived and begins with `first`.
bool StartsWith(const std::vector<uint8_t>& reply, uint8_t first);
