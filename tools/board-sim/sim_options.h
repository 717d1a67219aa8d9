// Command-line options of the simulated board: where it links, its device list and its faults.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "device_catalog.h"
#include "flash_memory.h"

namespace board_sim {

enum class BlockFaultKind { NonAck, ErrorReply, Silence };

struct BlockFault {
    BlockFaultKind kind;
    uint8_t byte;  // the non-ACK byte or the error detail
};

enum class RebootPortFault { None, LinkRemoved, Unopenable };

struct SimOptions {
    std::string linkPath;
    std::string logPath = "-";
    // The link path + ".flash" unless given; empty for a board in process, whose flash is read
    // where it is.
    std::string dumpPath;
    // The board can be taken out of its fixture and another put in (the front end's signals);
    // each board's flash dump is dumpPath + "." + its number from 1.
    bool removable = false;
    double eraseSeconds = 1.0;
    // Per 128-byte unit: the typical programming time tP per 128 bytes (1 ms; maximum 10 ms) in
    // the flash memory characteristics of the H8SX family's hardware manuals.
    double programMilliseconds = 1.0;
    // Every reply byte waits this long after its stop bit before the host can read it, as in a
    // USB adapter whose latency timer holds what it has received.
    int replyLatencyMilliseconds = 0;
    std::vector<DeviceEntry> devices;
    uint32_t userMatSize = kUserMatSize;
    uint32_t userMatSplit = 0;  // where a second area of the user MAT begins; 0: one area

    bool mute = false;
    bool neverMatch = false;
    int matchOn = 1;
    uint8_t handshakeReply = 0xE6;
    bool oversizeDeviceReply = false;
    bool shortModeReply = false;
    std::set<uint8_t> badReplySums;  // commands whose data reply carries a SUM off by one
    std::set<uint8_t> rejectedCommands;
    std::set<uint8_t> rejectedOnce;  // refused only the first time since the simulator started
    std::set<int> refusedBitRates;   // refused with 0x24 at the new-bit-rate selection, in bps
    // Block frames sent at a selected rate above this one arrive spoilt (a line that passes one
    // byte at a time but not 134 in a row); 0: none.
    int garbleAboveBitRate = 0;
    bool noConfirm = false;
    std::optional<uint8_t> statusError;
    std::map<int, BlockFault> blockFaults;  // by block number, counted from 1 since start
    std::optional<uint32_t> wrongByte;      // stored with its bits inverted when programmed
    std::optional<uint32_t> swappedBytes;   // stored in the place of the byte after it, and back
    std::optional<uint8_t> endReply;
    // The end of programming's ACK leaves this much later, or before the reply to the next
    // command that comes sooner, as a loaded host or adapter would deliver it.
    double endAckDelayMilliseconds = 0;
    // The boot program of the manuals: the end of programming is only the frame with the address
    // H'FFFFFFFF; 0x50 0xB0 begins a block frame.
    bool documentedEndOnly = false;
    int vanishAfterMatching = 0;  // 0: never
    int vanishAfterBlock = 0;     // 0: never
    RebootPortFault rebootPortFault = RebootPortFault::None;
    int unopenableAttempts = 0;  // 0: every attempt
};

enum class ParseOutcome { Run, Help, Error };

ParseOutcome ParseOptions(int argc, char** argv, SimOptions* options, std::string* error);
const char* UsageText();

}  // namespace board_sim
