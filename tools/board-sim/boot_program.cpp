// The simulated boot program's state machine, frame assembly and replies.
#include "boot_program.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <utility>

#include "bit_rate_selection.h"

namespace board_sim {

namespace {

constexpr uint8_t kAck = 0x06;
constexpr uint8_t kMatchingByte = 0x00;
constexpr uint8_t kHandshake = 0x55;
constexpr uint8_t kHandshakeReply = 0xE6;
// The boot program's answer to a byte it cannot take as the handshake.
constexpr uint8_t kHandshakeError = 0xFF;

constexpr uint8_t kDeviceInquiry = 0x20;
constexpr uint8_t kProgrammingUnitInquiry = 0x27;
constexpr uint8_t kStatusInquiry = 0x4F;
constexpr uint8_t kDeviceSelection = 0x10;
constexpr uint8_t kClockModeSelection = 0x11;
constexpr uint8_t kNewBitRateSelection = 0x3F;
constexpr uint8_t kBitRateConfirmation = 0x06;
constexpr uint8_t kProgrammingTransition = 0x40;
constexpr uint8_t kUserMatSelection = 0x43;
constexpr uint8_t kProgramming = 0x50;
constexpr uint8_t kUserMatInquiry = 0x25;
constexpr uint8_t kSumCheck = 0x4B;
constexpr uint8_t kMemoryRead = 0x52;

constexpr uint8_t kDeviceReply = 0x30;
constexpr uint8_t kProgrammingUnitReply = 0x37;
constexpr uint8_t kStatusReply = 0x5F;
constexpr uint8_t kUserMatReply = 0x35;
constexpr uint8_t kSumCheckReply = 0x5B;
constexpr uint8_t kMemoryReadReply = 0x52;
// An error reply is the command with its top bit set, then one of these codes.
constexpr uint8_t kErrorFlag = 0x80;
constexpr uint8_t kChecksumError = 0x11;
constexpr uint8_t kDeviceCodeError = 0x21;
constexpr uint8_t kClockModeError = 0x22;
constexpr uint8_t kBitRateError = 0x24;
constexpr uint8_t kAddressError = 0x2A;
constexpr uint8_t kReadSizeError = 0x2B;
constexpr uint8_t kEraseError = 0x51;
constexpr uint8_t kProgrammingError = 0x53;
constexpr uint8_t kSelectionError = 0x54;
constexpr uint8_t kCommandError = 0x80;

// The only clock mode of the board.
constexpr uint8_t kClockMode = 0;
// Memory read: its data are the area, the start address and the read size.
constexpr uint8_t kMemoryReadDataSize = 1 + 4 + 4;
constexpr uint8_t kUserMatArea = 0x01;
// Address of the end-of-programming frame in its six-byte form.
constexpr uint32_t kEndAddress = 0xFFFFFFFF;
constexpr size_t kBlockFrameLength = 1 + 4 + kProgrammingUnit + 1;
constexpr size_t kEndFrameLength = 1 + 4 + 1;
// The quiet that ends the two-byte end frame: 20 byte times, but never below scheduling noise.
constexpr int kQuietByteTimes = 20;
constexpr auto kShortestQuiet = std::chrono::milliseconds(30);

// Status reply: the state the boot program waits in.
constexpr uint8_t kWaitingDeviceSelection = 0x11;
constexpr uint8_t kWaitingClockModeSelection = 0x12;
constexpr uint8_t kWaitingBitRateSelection = 0x13;
constexpr uint8_t kWaitingTransition = 0x1F;
constexpr uint8_t kWaitingProgrammingSelection = 0x3F;
constexpr uint8_t kWaitingProgrammingData = 0x4F;

uint8_t Sum(const std::vector<uint8_t>& bytes) {
    uint8_t sum = 0;
    for (uint8_t byte : bytes) {
        sum = static_cast<uint8_t>(sum + byte);
    }
    return sum;
}

// Appends the SUM that makes all bytes of the frame add up to 0.
void AppendSum(std::vector<uint8_t>* frame) {
    frame->push_back(static_cast<uint8_t>(0x100 - Sum(*frame)));
}

void AppendBigEndian32(std::vector<uint8_t>* bytes, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes->push_back(static_cast<uint8_t>(value >> shift));
    }
}

uint32_t BigEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
           static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
}

const char* PhaseName(int phase) {
    static const char* const names[] = {
        "stopped",
        "bit-rate-matching",
        "awaiting-handshake",
        "device-selection",
        "clock-mode-selection",
        "bit-rate-selection",
        "awaiting-bit-rate-confirmation",
        "awaiting-programming-transition",
        "erasing",
        "programming-selection",
        "programming-data",
    };
    return names[phase];
}

const char* CommandName(uint8_t command) {
    switch (command) {
        case kDeviceInquiry:
            return "device-inquiry";
        case kProgrammingUnitInquiry:
            return "programming-unit-inquiry";
        case kStatusInquiry:
            return "status-inquiry";
        case kDeviceSelection:
            return "device-selection";
        case kClockModeSelection:
            return "clock-mode-selection";
        case kNewBitRateSelection:
            return "new-bit-rate-selection";
        case kProgrammingTransition:
            return "programming-transition";
        case kUserMatSelection:
            return "user-mat-selection";
        case kProgramming:
            return "programming";
        case kUserMatInquiry:
            return "user-mat-inquiry";
        case kSumCheck:
            return "user-mat-sum-check";
        case kMemoryRead:
            return "memory-read";
        default:
            return "unknown";
    }
}

}  // namespace

BootProgram::BootProgram(const SimOptions& options, FlashMemory& flash, Transmitter& transmitter,
                         EventLog& log, BootListener& listener)
    : options_(options), flash_(flash), transmitter_(transmitter), log_(log), listener_(listener) {}

void BootProgram::Start() {
    Clear();
    SetPhase(Phase::Matching);
}

void BootProgram::Stop() {
    Clear();
    SetPhase(Phase::Stopped);
}

void BootProgram::Clear() {
    if (!frame_.empty()) {
        Violation("unfinished frame discarded", frame_.data(), frame_.size());
    }
    frame_.clear();
    endFrameQuietAt_.reset();
    eraseDoneAt_.reset();
    programming_.reset();
    endAckAt_.reset();
    rate_.reset();
    selectedRate_ = 0;
    matchingBytes_ = 0;
    lastError_ = 0;
}

void BootProgram::SetPhase(Phase phase) {
    if (phase != phase_) {
        log_.Record("state")
            .Text("from", PhaseName(static_cast<int>(phase_)))
            .Text("to", PhaseName(static_cast<int>(phase)))
            .Real("bit_rate", rate_.value_or(0));
    }
    phase_ = phase;
}

void BootProgram::Receive(uint8_t byte, int hostRate, TimePoint now) {
    switch (phase_) {
        case Phase::Stopped:
            return;
        case Phase::Matching:
            ReceiveMatching(byte, hostRate, now);
            return;
        case Phase::AwaitingHandshake:
            ReceiveHandshake(byte, now);
            return;
        case Phase::AwaitingConfirmation:
            ReceiveConfirmation(byte, now);
            return;
        case Phase::Erasing:
            Violation("byte received while erasing", &byte, 1);
            return;
        default:
            break;
    }
    if (programming_) {
        Violation("byte received while programming a block", &byte, 1);
        return;
    }
    // The boot program answers in order: a late ACK goes out before the next reply.
    if (endAckAt_) {
        endAckAt_.reset();
        Acknowledge(nullptr, now);
    }
    frame_.push_back(byte);
    endFrameQuietAt_.reset();
    const size_t length = FrameLength();
    if (length == 0 || frame_.size() < length) {
        if (frame_.size() == 2 && frame_[0] == kProgramming && Sum(frame_) == 0 &&
            !options_.documentedEndOnly) {
            const auto byteTimes = Seconds(kQuietByteTimes * 10 / *rate_);
            endFrameQuietAt_ = now + std::max<Clock::duration>(byteTimes, kShortestQuiet);
        }
        return;
    }
    std::vector<uint8_t> frame;
    frame.swap(frame_);
    Dispatch(frame, now);
}

void BootProgram::ReceiveMatching(uint8_t byte, int hostRate, TimePoint now) {
    if (byte != kMatchingByte) {
        Violation("not a bit-rate matching byte", &byte, 1);
        return;
    }
    ++matchingBytes_;
    if (options_.neverMatch || matchingBytes_ < options_.matchOn) {
        log_.Record("matching").Number("count", matchingBytes_).Flag("answered", false);
        listener_.OnMatchingByte();
        return;
    }
    log_.Record("matching").Number("count", matchingBytes_).Flag("answered", true);
    rate_ = hostRate;
    Send({kMatchingByte}, now);
    SetPhase(Phase::AwaitingHandshake);
    listener_.OnMatchingByte();
}

void BootProgram::ReceiveHandshake(uint8_t byte, TimePoint now) {
    if (byte == kMatchingByte) {
        Send({kMatchingByte}, now);  // a late matching byte: the rate still holds
    } else if (byte == kHandshake) {
        Send({options_.handshakeReply}, now);
        if (options_.handshakeReply == kHandshakeReply) {
            SetPhase(Phase::DeviceSelection);
        } else {
            log_.Record("fault").Text("fault", "handshake-reply");
        }
    } else {
        Violation("expected the handshake 0x55", &byte, 1);
        Send({kHandshakeError}, now);
    }
}

void BootProgram::ReceiveConfirmation(uint8_t byte, TimePoint now) {
    if (byte != kBitRateConfirmation) {
        Violation("expected the bit-rate confirmation 0x06", &byte, 1);
        return;
    }
    if (options_.noConfirm) {
        log_.Record("fault").Text("fault", "no-confirm");
        return;
    }
    Acknowledge("bit-rate-confirmation", now);
    SetPhase(Phase::AwaitingTransition);
}

size_t BootProgram::FrameLength() const {
    switch (frame_[0]) {
        case kDeviceSelection:
        case kClockModeSelection:
        case kNewBitRateSelection:
        case kMemoryRead:
            return frame_.size() < 2 ? 0 : frame_[1] + 3u;
        case kProgramming:
            if (frame_.size() < 5) {
                return 0;
            }
            return BigEndian32(&frame_[1]) == kEndAddress ? kEndFrameLength : kBlockFrameLength;
        default:
            return 1;
    }
}

void BootProgram::Tick(TimePoint now) {
    if (endFrameQuietAt_ && now >= *endFrameQuietAt_) {
        endFrameQuietAt_.reset();
        std::vector<uint8_t> frame;
        frame.swap(frame_);
        Dispatch(frame, now);
    }
    if (phase_ == Phase::Erasing && eraseDoneAt_ && now >= *eraseDoneAt_) {
        eraseDoneAt_.reset();
        flash_.Erase();
        log_.Record("erase").Text("phase", "done");
        Acknowledge("programming-transition", now);
        SetPhase(Phase::ProgrammingSelection);
    }
    if (endAckAt_ && now >= *endAckAt_) {
        endAckAt_.reset();
        Acknowledge(nullptr, now);
    }
    if (programming_ && now >= programming_->doneAt) {
        const BlockInProgress done = *programming_;
        programming_.reset();
        Acknowledge(nullptr, done.doneAt);
        BlockAnswered(done.number, done.address, "programmed");
    }
}

std::optional<TimePoint> BootProgram::Deadline() const {
    std::optional<TimePoint> earliest;
    const std::optional<TimePoint> programmed =
        programming_ ? std::optional<TimePoint>(programming_->doneAt) : std::nullopt;
    for (const std::optional<TimePoint>& deadline :
         {endFrameQuietAt_, eraseDoneAt_, programmed, endAckAt_}) {
        if (deadline && (!earliest || *deadline < *earliest)) {
            earliest = deadline;
        }
    }
    return earliest;
}

void BootProgram::Dispatch(const std::vector<uint8_t>& frame, TimePoint now) {
    const bool inquiring = phase_ == Phase::DeviceSelection ||
                           phase_ == Phase::ClockModeSelection ||
                           phase_ == Phase::BitRateSelection || phase_ == Phase::AwaitingTransition;
    // Where the boot program waits for the next programming/erasing command.
    const bool awaitingCommand = phase_ == Phase::ProgrammingSelection;
    switch (frame[0]) {
        case kDeviceInquiry:
            if (InPhase(frame, inquiring, now)) {
                ReplyDevices(now);
            }
            break;
        case kProgrammingUnitInquiry:
            if (InPhase(frame, inquiring, now)) {
                ReplyProgrammingUnit(now);
            }
            break;
        case kUserMatInquiry:
            if (InPhase(frame, inquiring, now)) {
                ReplyUserMat(now);
            }
            break;
        case kStatusInquiry:
            ReplyStatus(now);
            break;
        case kSumCheck:
            if (InPhase(frame, awaitingCommand, now)) {
                ReplySumCheck(now);
            }
            break;
        case kMemoryRead:
            if (InPhase(frame, awaitingCommand, now)) {
                ReadMemory(frame, now);
            }
            break;
        case kDeviceSelection:
            if (InPhase(frame, phase_ == Phase::DeviceSelection, now)) {
                SelectDevice(frame, now);
            }
            break;
        case kClockModeSelection:
            if (InPhase(frame, phase_ == Phase::ClockModeSelection, now)) {
                SelectClockMode(frame, now);
            }
            break;
        case kNewBitRateSelection:
            if (InPhase(frame, phase_ == Phase::BitRateSelection, now)) {
                SelectNewBitRate(frame, now);
            }
            break;
        case kProgrammingTransition:
            if (InPhase(frame, phase_ == Phase::AwaitingTransition, now)) {
                EnterProgrammingState(now);
            }
            break;
        case kUserMatSelection:
            if (InPhase(frame, phase_ == Phase::ProgrammingSelection, now)) {
                SelectUserMat(now);
            }
            break;
        case kProgramming:
            if (InPhase(frame, phase_ == Phase::ProgrammingData, now)) {
                if (frame.size() == kBlockFrameLength) {
                    ProgramBlock(Garbled(frame), now);
                } else {
                    EndProgramming(frame, now);
                }
            }
            break;
        default:
            Violation("unknown command", frame.data(), frame.size());
            Send({kErrorFlag, kCommandError}, now);
            break;
    }
}

bool BootProgram::InPhase(const std::vector<uint8_t>& frame, bool allowed, TimePoint now) {
    if (!allowed) {
        Violation(std::string(CommandName(frame[0])) + " out of order in " +
                      PhaseName(static_cast<int>(phase_)),
                  frame.data(), std::min<size_t>(frame.size(), 8));
        ReplyError(frame[0], kCommandError, "out of order", now);
    }
    return allowed;
}

bool BootProgram::SumCorrect(const std::vector<uint8_t>& frame, TimePoint now) {
    if (Sum(frame) == 0) {
        return true;
    }
    Violation(std::string(CommandName(frame[0])) + " with a wrong SUM", frame.data(),
              std::min<size_t>(frame.size(), 8));
    ReplyError(frame[0], kChecksumError, "checksum", now);
    return false;
}

bool BootProgram::Rejected(uint8_t command, TimePoint now) {
    const bool once =
        options_.rejectedOnce.count(command) != 0 && rejectedOnce_.insert(command).second;
    if (options_.rejectedCommands.count(command) == 0 && !once) {
        return false;
    }
    static const std::pair<uint8_t, uint8_t> errors[] = {
        {kDeviceSelection, kDeviceCodeError},  {kClockModeSelection, kClockModeError},
        {kNewBitRateSelection, kBitRateError}, {kProgrammingTransition, kEraseError},
        {kUserMatSelection, kSelectionError},
    };
    uint8_t error = kCommandError;
    for (const auto& entry : errors) {
        if (entry.first == command) {
            error = entry.second;
        }
    }
    log_.Record("fault")
        .Text("fault", once ? "reject-once" : "reject-command")
        .Byte("command", command);
    ReplyError(command, error, "fault injected", now);
    return true;
}

void BootProgram::ReplyDevices(TimePoint now) {
    const std::vector<uint8_t> body = DeviceReplyBody(options_.devices);
    uint8_t size = static_cast<uint8_t>(body.size());
    if (options_.oversizeDeviceReply) {
        size = static_cast<uint8_t>(std::min<size_t>(0xFF, body.size() + 16));
        log_.Record("fault").Text("fault", "oversize-device-reply");
    }
    std::vector<uint8_t> reply{kDeviceReply, size};
    reply.insert(reply.end(), body.begin(), body.end());
    AppendSum(&reply);
    log_.Record("command").Text("command", CommandName(kDeviceInquiry));
    Send(reply, now);
}

void BootProgram::ReplyProgrammingUnit(TimePoint now) {
    std::vector<uint8_t> reply{kProgrammingUnitReply, 0x02, 0x00, kProgrammingUnit};
    AppendSum(&reply);
    if (options_.shortModeReply) {
        reply.pop_back();
        log_.Record("fault").Text("fault", "short-mode-reply");
    }
    log_.Record("command").Text("command", CommandName(kProgrammingUnitInquiry));
    Send(reply, now);
}

void BootProgram::ReplyStatus(TimePoint now) {
    uint8_t status = 0;
    switch (phase_) {
        case Phase::DeviceSelection:
            status = kWaitingDeviceSelection;
            break;
        case Phase::ClockModeSelection:
            status = kWaitingClockModeSelection;
            break;
        case Phase::BitRateSelection:
            status = kWaitingBitRateSelection;
            break;
        case Phase::AwaitingTransition:
            status = kWaitingTransition;
            break;
        case Phase::ProgrammingSelection:
            status = kWaitingProgrammingSelection;
            break;
        default:
            status = kWaitingProgrammingData;
            break;
    }
    uint8_t error = lastError_;
    if (options_.statusError) {
        error = *options_.statusError;
        log_.Record("fault").Text("fault", "status-error");
    }
    std::vector<uint8_t> reply{kStatusReply, 0x02, status, error};
    AppendSum(&reply);
    log_.Record("command").Text("command", CommandName(kStatusInquiry));
    Send(reply, now);
}

void BootProgram::ReplyUserMat(TimePoint now) {
    // Each area by its first and last address, inclusive.
    std::vector<std::pair<uint32_t, uint32_t>> areas;
    if (options_.userMatSplit != 0) {
        areas = {{0, options_.userMatSplit - 1}, {options_.userMatSplit, flash_.Size() - 1}};
    } else {
        areas = {{0, flash_.Size() - 1}};
    }
    std::vector<uint8_t> reply{kUserMatReply, 0, static_cast<uint8_t>(areas.size())};
    for (const auto& area : areas) {
        AppendBigEndian32(&reply, area.first);
        AppendBigEndian32(&reply, area.second);
    }
    reply[1] = static_cast<uint8_t>(reply.size() - 2);
    log_.Record("command").Text("command", CommandName(kUserMatInquiry));
    SendReply(kUserMatInquiry, std::move(reply), now);
}

void BootProgram::ReplySumCheck(TimePoint now) {
    const uint32_t total = flash_.Total();
    std::vector<uint8_t> reply{kSumCheckReply, 4};
    AppendBigEndian32(&reply, total);
    log_.Record("command").Text("command", CommandName(kSumCheck)).Number("sum", total);
    SendReply(kSumCheck, std::move(reply), now);
}

void BootProgram::ReadMemory(const std::vector<uint8_t>& frame, TimePoint now) {
    if (!SumCorrect(frame, now)) {
        return;
    }
    if (frame[1] != kMemoryReadDataSize) {
        Violation("memory read whose size byte is not 9", frame.data(), frame.size());
        ReplyError(kMemoryRead, kCommandError, "size byte", now);
        return;
    }
    const uint32_t start = BigEndian32(&frame[3]);
    const uint32_t size = BigEndian32(&frame[7]);
    if (frame[2] != kUserMatArea || start >= flash_.Size()) {
        Violation("memory read outside the user MAT", frame.data(), frame.size());
        ReplyError(kMemoryRead, kAddressError, "area or start address", now);
        return;
    }
    if (size == 0 || size > flash_.Size() - start) {
        Violation("memory read size empty or past the user MAT", frame.data(), frame.size());
        ReplyError(kMemoryRead, kReadSizeError, "read size", now);
        return;
    }
    std::vector<uint8_t> reply{kMemoryReadReply};
    AppendBigEndian32(&reply, size);
    const std::vector<uint8_t> data = flash_.Read(start, size);
    reply.insert(reply.end(), data.begin(), data.end());
    log_.Record("command")
        .Text("command", CommandName(kMemoryRead))
        .Number("address", start)
        .Number("size", size);
    SendReply(kMemoryRead, std::move(reply), now);
}

void BootProgram::SelectDevice(const std::vector<uint8_t>& frame, TimePoint now) {
    if (!SumCorrect(frame, now) || Rejected(kDeviceSelection, now)) {
        return;
    }
    const DeviceEntry* own = OwnDevice(options_.devices);
    if (frame[1] != 4 || own == nullptr ||
        !std::equal(own->code.begin(), own->code.end(), frame.begin() + 2)) {
        Violation("device code is not this MCU's", frame.data(), frame.size());
        ReplyError(kDeviceSelection, kDeviceCodeError, "device code", now);
        return;
    }
    Acknowledge(CommandName(kDeviceSelection), now);
    SetPhase(Phase::ClockModeSelection);
}

void BootProgram::SelectClockMode(const std::vector<uint8_t>& frame, TimePoint now) {
    if (!SumCorrect(frame, now) || Rejected(kClockModeSelection, now)) {
        return;
    }
    if (frame[1] != 1 || frame[2] != kClockMode) {
        Violation("clock mode not supported", frame.data(), frame.size());
        ReplyError(kClockModeSelection, kClockModeError, "clock mode", now);
        return;
    }
    Acknowledge(CommandName(kClockModeSelection), now);
    SetPhase(Phase::BitRateSelection);
}

void BootProgram::SelectNewBitRate(const std::vector<uint8_t>& frame, TimePoint now) {
    if (!SumCorrect(frame, now) || Rejected(kNewBitRateSelection, now)) {
        return;
    }
    const BitRateSelection selection = SelectBitRate(&frame[2], frame[1]);
    if (selection.error != 0) {
        Violation("new bit rate parameters refused", frame.data(), frame.size());
        ReplyError(kNewBitRateSelection, selection.error, "bit-rate parameters", now);
        return;
    }
    // Accepted parameters are the full seven bytes: the rate leads, in units of 100 bps.
    const int requested = (frame[2] << 8 | frame[3]) * 100;
    if (options_.refusedBitRates.count(requested) != 0) {
        log_.Record("fault").Text("fault", "refuse-bps").Number("bit_rate", requested);
        ReplyError(kNewBitRateSelection, kBitRateError, "fault injected", now);
        return;
    }
    // The ACK still leaves at the old rate; only then does the SCI switch.
    Acknowledge(CommandName(kNewBitRateSelection), now);
    rate_ = selection.lineRate;
    selectedRate_ = requested;
    SetPhase(Phase::AwaitingConfirmation);
}

void BootProgram::EnterProgrammingState(TimePoint now) {
    if (Rejected(kProgrammingTransition, now)) {
        return;
    }
    log_.Record("erase").Text("phase", "start").Real("seconds", options_.eraseSeconds);
    eraseDoneAt_ = now + Seconds(options_.eraseSeconds);
    SetPhase(Phase::Erasing);
}

void BootProgram::SelectUserMat(TimePoint now) {
    if (Rejected(kUserMatSelection, now)) {
        return;
    }
    Acknowledge(CommandName(kUserMatSelection), now);
    SetPhase(Phase::ProgrammingData);
}

std::vector<uint8_t> BootProgram::Garbled(std::vector<uint8_t> frame) {
    if (options_.garbleAboveBitRate > 0 && selectedRate_ > options_.garbleAboveBitRate) {
        log_.Record("fault").Text("fault", "garble-above").Number("bit_rate", selectedRate_);
        // One bit lost in the middle of the data, as a slow edge loses it.
        frame[frame.size() / 2] ^= 0x10;
    }
    return frame;
}

void BootProgram::ProgramBlock(const std::vector<uint8_t>& frame, TimePoint now) {
    const int number = ++blocksReceived_;
    const uint32_t address = BigEndian32(&frame[1]);
    const char* result = nullptr;
    auto fault = options_.blockFaults.find(number);
    if (fault != options_.blockFaults.end()) {
        const BlockFault& injected = fault->second;
        if (injected.kind == BlockFaultKind::NonAck) {
            Send({injected.byte}, now);
        } else if (injected.kind == BlockFaultKind::ErrorReply) {
            lastError_ = injected.byte;
            Send({static_cast<uint8_t>(kProgramming | kErrorFlag), injected.byte}, now);
        }
        result = "fault injected";
    } else if (!SumCorrect(frame, now)) {
        result = "checksum error";
    } else {
        std::array<uint8_t, kProgrammingUnit> data;
        std::copy(frame.begin() + 5, frame.begin() + 5 + kProgrammingUnit, data.begin());
        // Unsigned: an address below the block wraps round to far beyond the unit.
        const bool wrongByte =
            options_.wrongByte && *options_.wrongByte - address < kProgrammingUnit;
        if (wrongByte) {
            data[*options_.wrongByte - address] ^= 0xFF;
        }
        const bool swapped =
            options_.swappedBytes && *options_.swappedBytes - address < kProgrammingUnit;
        if (swapped) {
            std::swap(data[*options_.swappedBytes - address],
                      data[*options_.swappedBytes - address + 1]);
        }
        switch (flash_.Program(address, data.data())) {
            case ProgramResult::Programmed:
                if (wrongByte) {
                    log_.Record("fault")
                        .Text("fault", "wrong-byte")
                        .Number("address", *options_.wrongByte);
                }
                if (swapped) {
                    log_.Record("fault")
                        .Text("fault", "swap-bytes")
                        .Number("address", *options_.swappedBytes);
                }
                // The flash is busy for the programming time; the ACK follows it.
                programming_ = BlockInProgress{number, address,
                                               now + Seconds(options_.programMilliseconds / 1000)};
                return;
            case ProgramResult::AddressError:
                Violation("block address not an aligned 128-byte unit of the user MAT",
                          frame.data(), 5);
                ReplyError(kProgramming, kAddressError, nullptr, now);
                result = "address error";
                break;
            case ProgramResult::NotErased:
                Violation("block over flash programmed since the erase", frame.data(), 5);
                ReplyError(kProgramming, kProgrammingError, nullptr, now);
                result = "programming error";
                break;
        }
    }
    BlockAnswered(number, address, result);
}

void BootProgram::BlockAnswered(int number, uint32_t address, const char* result) {
    log_.Record("block").Number("number", number).Number("address", address).Text("result", result);
    listener_.OnBlockAnswered(number);
}

void BootProgram::EndProgramming(const std::vector<uint8_t>& frame, TimePoint now) {
    if (!SumCorrect(frame, now)) {
        return;
    }
    log_.Record("end-of-programming").Hex("frame", frame.data(), frame.size());
    if (options_.endReply) {
        log_.Record("fault").Text("fault", "end-nak");
        Send({*options_.endReply}, now);
        listener_.OnEndOfProgramming(false);
        return;
    }
    if (options_.endAckDelayMilliseconds > 0) {
        log_.Record("fault").Text("fault", "end-ack-late");
        endAckAt_ = now + Seconds(options_.endAckDelayMilliseconds / 1000);
    } else {
        Acknowledge(nullptr, now);
    }
    SetPhase(Phase::ProgrammingSelection);
    listener_.OnEndOfProgramming(true);
}

void BootProgram::Send(std::vector<uint8_t> bytes, TimePoint now) {
    if (rate_) {
        transmitter_.Send(bytes, *rate_, now);
    }
}

void BootProgram::SendReply(uint8_t command, std::vector<uint8_t> reply, TimePoint now) {
    AppendSum(&reply);
    if (options_.badReplySums.count(command) != 0) {
        ++reply.back();
        log_.Record("fault").Text("fault", "bad-reply-sum").Byte("command", command);
    }
    Send(std::move(reply), now);
}

void BootProgram::Acknowledge(const char* command, TimePoint now) {
    lastError_ = 0;
    if (command != nullptr) {
        log_.Record("command").Text("command", command).Text("result", "ack");
    }
    Send({kAck}, now);
}

void BootProgram::ReplyError(uint8_t command, uint8_t error, const char* why, TimePoint now) {
    lastError_ = error;
    if (why != nullptr) {
        log_.Record("command")
            .Text("command", CommandName(command))
            .Text("result", "error")
            .Byte("error", error)
            .Text("why", why);
    }
    Send({static_cast<uint8_t>(command | kErrorFlag), error}, now);
}

void BootProgram::Violation(const std::string& reason, const uint8_t* bytes, size_t count) {
    log_.Record("violation")
        .Text("reason", reason)
        .Text("phase", PhaseName(static_cast<int>(phase_)))
        .Hex("bytes", bytes, count);
}

}  // namespace board_sim
