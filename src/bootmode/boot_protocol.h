// The H8SX/1520R boot program's vocabulary as the host speaks it: every command and reply byte,
// frame size, bit rate, fixed delay and wait limit, with its meaning and unit.
//
// The protocol is paced by fixed delays: a transaction sends its frame, sleeps the command's delay
// and then waits for the transmission to end (WaitSendDone) before it judges what has arrived.
// The send-wait limits below only bound that wait; nobody reads its result.
#pragma once

#include <cstddef>
#include <cstdint>

// Line: 8 data bits, no parity. Opening and closing the port at the reset rate resets the board
// into its boot program (and reboots it after programming); the boot program measures the host's
// rate on matching bytes at the matching rate.
constexpr int32_t kNoParity = 0;
constexpr uint8_t kDataBits = 8;
constexpr int kResetBitRate = 19200;        // bps
constexpr int kMatchingBitRate = 9600;      // bps
constexpr int kProgrammingBitRate = 38400;  // bps: the rate the update run moves the link to
// The new bit-rate selection takes rates in units of 100 bps.
constexpr int kBitRateUnit = 100;
constexpr int kBitsPerByte = 10;  // start bit, 8 data bits, stop bit

// Bit-rate matching and the handshake.
constexpr uint8_t kMatchingByte = 0x00;  // sent until echoed
constexpr int kMatchingAttempts = 30;
// A station's probe for a board in its fixture sends only a few: a boot program echoes the first
// matching byte it measures, and a probe that waits longer would keep the station from noticing
// a board as soon as it is put in.
constexpr int kProbeMatchingBytes = 5;
constexpr uint8_t kHandshake = 0x55;
constexpr uint8_t kHandshakeReply = 0xE6;

// Inquiries and their reply codes.
constexpr uint8_t kDeviceInquiry = 0x20;
constexpr uint8_t kDeviceReply = 0x30;
constexpr uint8_t kProgrammingUnitInquiry = 0x27;
constexpr uint8_t kProgrammingUnitReply = 0x37;
constexpr size_t kShortestUnitReply = 5;  // code, size, one 2-byte unit, SUM
constexpr uint8_t kStatusInquiry = 0x4F;
constexpr uint8_t kStatusReply = 0x5F;
constexpr size_t kShortestStatusReply = 5;  // code, size, status, error, SUM
// From a size of 2 the status reply carries status and error, which must say: waiting for the
// programming selection, no error.
constexpr uint8_t kStatusSizeWithError = 2;
constexpr uint8_t kAwaitingProgrammingSelection = 0x3F;
constexpr uint8_t kNoError = 0x00;

// The device the update selects: the first of the device inquiry's entries whose name holds this.
constexpr char kSupportedDeviceName[] = "H8SX 1520R(40MHz)";

// Selections, answered by ACK.
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kDeviceSelection = 0x10;     // 4-byte device code
constexpr uint8_t kClockModeSelection = 0x11;  // 1-byte clock mode
constexpr uint8_t kNewBitRateSelection = 0x3F;
// Its parameters: rate in units of 100 bps (2), input clock in units of 0.01 MHz (2), number n of
// multiplication ratios (1), then n ratios, out of a block of 85 bytes.
constexpr size_t kFixedBitRateParameters = 5;
constexpr size_t kBitRateParameterBlock = 85;
// What the update selects: 38400 bps (384 x 100), a 5.00 MHz input clock (500 x 0.01 MHz) and the
// ratios 8 and 4 (8 x 5.00 MHz, the 40 MHz of the device's name).
constexpr uint8_t kProgrammingBitRateParameters[] = {0x01, 0x80, 0x01, 0xF4, 0x02, 0x08, 0x04};
// The SCI's clock those parameters give: 5.00 MHz x 4, in Hz.
constexpr double kPeripheralClockHz = 20e6;
// The boot program refuses (0xBF 0x24) a rate its SCI misses by this much or more, in percent.
constexpr double kLargestBitRateError = 4.0;
// The only clock mode of the board.
constexpr uint8_t kDefaultClockMode = 0;
constexpr uint8_t kBitRateConfirmation = 0x06;    // sent at the new rate
constexpr uint8_t kProgrammingTransition = 0x40;  // the MCU erases its user MAT, then ACKs
constexpr uint8_t kUserMatSelection = 0x43;

// Programming: command, 4-byte big-endian address, 128 data bytes, SUM; the end of programming
// is the command alone with its SUM.
constexpr uint8_t kProgrammingCommand = 0x50;
constexpr size_t kBlockBytes = 128;
constexpr size_t kBlockFrameBytes = 1 + 4 + kBlockBytes + 1;
constexpr uint8_t kEndOfProgramming[] = {kProgrammingCommand, 0xB0};
// An error reply to a programming frame: this code, then the detail.
constexpr uint8_t kProgrammingError = 0xD0;
constexpr uint8_t kChecksumDetail = 0x11;
constexpr uint8_t kAddressDetail = 0x2A;
constexpr uint8_t kWriteDetail = 0x53;

// The documented end of programming carries the address H'FFFFFFFF; the boot program then waits
// for the next programming/erasing command, such as the sum check and the memory read of
// velmora-cli --verify. velmora-cli always ends programming so, since the boot programs of the
// manuals read the design's two bytes as the start of a block frame.
constexpr uint8_t kEndOfProgrammingAtLastAddress[] = {
    kProgrammingCommand, 0xFF, 0xFF, 0xFF, 0xFF, 0xB4};

// The user MAT's extent, asked for before the erase, and what velmora-cli --verify asks after
// programming.
constexpr uint8_t kUserMatInquiry = 0x25;
constexpr uint8_t kUserMatReply = 0x35;  // size, number of areas, first and last address of each
constexpr size_t kUserMatAreaBytes = 8;  // two 4-byte big-endian addresses, the last inclusive
constexpr uint8_t kSumCheck = 0x4B;
constexpr uint8_t kSumCheckReply = 0x5B;  // size 4, the 4-byte total of the user MAT's bytes, SUM
constexpr uint8_t kSumCheckSize = 4;
constexpr uint8_t kMemoryRead = 0x52;  // size 9, area, 4-byte start, 4-byte read size, SUM
constexpr uint8_t kMemoryReadSize = 9;
constexpr uint8_t kUserMatArea = 0x01;
constexpr size_t kReadSizeBytes = 4;        // the reply: 0x52, the read size, the data, SUM
constexpr uint8_t kMemoryReadError = 0xD2;  // then 0x11 (SUM), 0x2A (address) or 0x2B (size)
constexpr uint8_t kSizeDetail = 0x2B;
constexpr uint32_t kLargestRead = 4096;  // bytes one memory read asks for

// Fixed delays, in milliseconds: what the host waits for before it judges a reply.
constexpr int kSettleAfterTestDelay = 1000;  // the board settles after the connection test
constexpr int kSettleAfterOpenDelay = 1000;  // the boot program is ready for matching
constexpr int kMatchingDelay = 300;          // per matching byte
constexpr int kHandshakeDelay = 1000;
constexpr int kDeviceInquiryDelay = 2000;
constexpr int kDeviceReplyRestDelay = 1000;  // the rest of a long device list arrives
constexpr int kProgrammingUnitDelay = 1000;
constexpr int kSelectionDelay = 1000;  // device and clock mode selection
constexpr int kBitRateSelectionDelay = 2000;
constexpr int kConfirmationDelay = 1000;  // the ACK at the new rate
constexpr int kTransitionDelay = 3000;    // the MCU starts erasing its user MAT
constexpr int kEraseWaits = 5;            // one-second waits while the erase goes on
constexpr int kEraseWaitDelay = 1000;
constexpr int kStatusDelay = 2000;
constexpr int kUserMatSelectionDelay = 2000;
constexpr int kEnterProgrammingDelay = 10;
constexpr int kBlockDelay = 200;  // the MCU programs one 128-byte unit
constexpr int kUserMatInquiryDelay = 1000;
constexpr int kSumCheckDelay = 2000;   // the MCU adds up its whole user MAT
constexpr int kMemoryReadDelay = 200;  // the MCU starts sending; the reply's wire time is added
// velmora-cli waits this much longer for the end of programming's ACK when it is late: a loaded
// host or adapter delays it, and left unread it would land in the next command's reply.
constexpr int kLateEndAckDelay = 2000;

// WaitSendDone limits, in 25 ms polls (see above: a bound, not a result).
constexpr int kSendLimit = 1000;
constexpr int kTransitionSendLimit = 3000;
constexpr int kSlowSendLimit = 15000;  // status inquiry and user MAT selection
// Whatever its limit, WaitSendDone polls every 25 ms and gives up at the 1001st poll: about 25 s,
// the longest any transmission may take.
constexpr int kSendPollMilliseconds = 25;
constexpr int kSendPollGiveUp = 1001;

// A freshly opened port is waited for in 10 ms polls, at most 1000 of them (about 10 s).
constexpr int kReadyPollMilliseconds = 10;
constexpr int kReadyPolls = 1000;
