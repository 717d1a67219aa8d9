// The H8SX/1520R boot program as the host meets it: bit-rate matching, inquiries and selections,
// the bit-rate change, the programming/erasing state, programming and the user MAT's read-back.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "event_log.h"
#include "flash_memory.h"
#include "sim_clock.h"
#include "sim_options.h"
#include "transmitter.h"

namespace board_sim {

// What the board around the MCU needs to hear of: its port faults and dumps hang on these.
class BootListener {
public:
    // A bit-rate matching byte has been received, answered or not.
    virtual void OnMatchingByte() = 0;
    virtual void OnBlockAnswered(int number) = 0;
    virtual void OnEndOfProgramming(bool accepted) = 0;

protected:
    ~BootListener() = default;
};

class BootProgram {
public:
    BootProgram(const SimOptions& options, FlashMemory& flash, Transmitter& transmitter,
                EventLog& log, BootListener& listener);

    // Entered on reset: the program starts over and waits for the bit-rate matching.
    void Start();
    // Left when the MCU reboots into its user program.
    void Stop();
    // The UART's rate; none while matching, when the program measures whatever rate comes.
    std::optional<double> Rate() const { return rate_; }
    // One byte that the MCU's UART has received; `hostRate` is what the matching adopts.
    void Receive(uint8_t byte, int hostRate, TimePoint now);
    void Tick(TimePoint now);
    std::optional<TimePoint> Deadline() const;

private:
    // A programmed block whose ACK waits until the flash has finished.
    struct BlockInProgress {
        int number;
        uint32_t address;
        TimePoint doneAt;
    };

    enum class Phase {
        Stopped,
        Matching,
        AwaitingHandshake,
        DeviceSelection,
        ClockModeSelection,
        BitRateSelection,
        AwaitingConfirmation,
        AwaitingTransition,
        Erasing,
        ProgrammingSelection,
        ProgrammingData,
    };

    void Clear();
    void SetPhase(Phase phase);
    void ReceiveMatching(uint8_t byte, int hostRate, TimePoint now);
    void ReceiveHandshake(uint8_t byte, TimePoint now);
    void ReceiveConfirmation(uint8_t byte, TimePoint now);
    size_t FrameLength() const;
    void Dispatch(const std::vector<uint8_t>& frame, TimePoint now);
    bool InPhase(const std::vector<uint8_t>& frame, bool allowed, TimePoint now);
    bool SumCorrect(const std::vector<uint8_t>& frame, TimePoint now);
    bool Rejected(uint8_t command, TimePoint now);

    void ReplyDevices(TimePoint now);
    void ReplyProgrammingUnit(TimePoint now);
    void ReplyStatus(TimePoint now);
    void ReplyUserMat(TimePoint now);
    void ReplySumCheck(TimePoint now);
    void ReadMemory(const std::vector<uint8_t>& frame, TimePoint now);
    void SelectDevice(const std::vector<uint8_t>& frame, TimePoint now);
    void SelectClockMode(const std::vector<uint8_t>& frame, TimePoint now);
    void SelectNewBitRate(const std::vector<uint8_t>& frame, TimePoint now);
    void EnterProgrammingState(TimePoint now);
    void SelectUserMat(TimePoint now);
    // The block frame as the board reads it off the line: spoilt above --garble-above's rate.
    std::vector<uint8_t> Garbled(std::vector<uint8_t> frame);
    void ProgramBlock(const std::vector<uint8_t>& frame, TimePoint now);
    void BlockAnswered(int number, uint32_t address, const char* result);
    void EndProgramming(const std::vector<uint8_t>& frame, TimePoint now);

    void Send(std::vector<uint8_t> bytes, TimePoint now);
    // A data reply: its SUM appended, and spoiled when a fault option asks for it.
    void SendReply(uint8_t command, std::vector<uint8_t> reply, TimePoint now);
    void Acknowledge(const char* command, TimePoint now);
    void ReplyError(uint8_t command, uint8_t error, const char* why, TimePoint now);
    void Violation(const std::string& reason, const uint8_t* bytes, size_t count);

    const SimOptions& options_;
    FlashMemory& flash_;
    Transmitter& transmitter_;
    EventLog& log_;
    BootListener& listener_;

    Phase phase_ = Phase::Stopped;
    std::optional<double> rate_;
    int selectedRate_ = 0;  // the rate the host asked for at the new-bit-rate selection, in bps
    int matchingBytes_ = 0;
    uint8_t lastError_ = 0;
    std::vector<uint8_t> frame_;
    // A frame of just 0x50 0xB0 is the end of programming once the line stays quiet this long.
    std::optional<TimePoint> endFrameQuietAt_;
    std::optional<TimePoint> eraseDoneAt_;
    std::optional<BlockInProgress> programming_;
    std::optional<TimePoint> endAckAt_;  // a late end of programming's ACK leaves then
    int blocksReceived_ = 0;             // since the simulator started, as fault options count them
    std::set<uint8_t> rejectedOnce_;     // the --reject-once commands refused so far
};

}  // namespace board_sim
