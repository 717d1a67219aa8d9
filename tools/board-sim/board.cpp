// The simulated board's reactions to the host's port and its port faults.
#include "board.h"

#include <chrono>
#include <initializer_list>
#include <string>

namespace board_sim {

namespace {

// The host opens and closes the port at this rate to reset the board (boot mode, reboot).
constexpr int kResetBitRate = 19200;
// The adapter goes only after the host has had time to read the block's reply: a hang-up would
// flush what the host's driver still holds.
constexpr auto kVanishDelay = std::chrono::milliseconds(50);

const char* ModeName(int mode) {
    static const char* const names[] = {"old-firmware", "boot-program", "new-firmware"};
    return names[mode];
}

}  // namespace

Board::Board(const SimOptions& options, HostLine& line, FlashMemory& flash, EventLog& log)
    : options_(options),
      line_(line),
      flash_(flash),
      log_(log),
      receiver_(log),
      transmitter_(line, log, options.mute,
                   std::chrono::milliseconds(options.replyLatencyMilliseconds)),
      boot_(options, flash, transmitter_, log, *this) {}

void Board::OnHostOpened() {
    lineJudged_ = false;
    log_.Record("open")
        .Number("open_events", line_.OpenEvents())
        .Number("close_events", line_.CloseEvents());
}

void Board::OnHostClosed(const LineSettings& last) {
    log_.Record("close")
        .Json("settings", last.ToJson())
        .Number("open_events", line_.OpenEvents())
        .Number("close_events", line_.CloseEvents());
    line_.DiscardUnreadReplies();
    if (last.bitRate == kResetBitRate) {
        Reset();
    }
}

void Board::Reset() {
    receiver_.Discard("reset");
    transmitter_.Discard("reset");
    const Mode before = mode_;
    if (mode_ == Mode::BootProgram && programmingFinished_) {
        programmingFinished_ = false;
        mode_ = Mode::NewFirmware;
        boot_.Stop();
        log_.Record("reboot").Text("into", ModeName(static_cast<int>(mode_)));
        return;
    }
    mode_ = Mode::BootProgram;
    programmingFinished_ = false;
    boot_.Start();
    log_.Record("reset")
        .Text("from", ModeName(static_cast<int>(before)))
        .Text("into", ModeName(static_cast<int>(mode_)));
}

void Board::OnHostBytes(const uint8_t* bytes, size_t count, const LineSettings& host,
                        TimePoint now) {
    const std::optional<double> rate = boot_.Rate();
    const bool understood = mode_ == Mode::BootProgram && host.IsEightNoneOne() &&
                            host.bitRate > 0 && (!rate || RatesAgree(host.bitRate, *rate));
    log_.Record("rx")
        .Hex("bytes", bytes, count)
        .Number("bit_rate", host.bitRate)
        .Flag("understood", understood);
    if (mode_ != Mode::BootProgram) {
        log_.Record("violation")
            .Text("reason", "bytes while the MCU runs its user program (no boot mode)")
            .Text("mode", ModeName(static_cast<int>(mode_)))
            .Hex("bytes", bytes, count);
        return;
    }
    if (!lineJudged_) {
        lineJudged_ = true;
        if (host.HasFlowControl() || !host.cooked.empty()) {
            log_.Record("violation")
                .Text("reason", "host line is not raw without flow control")
                .Json("settings", host.ToJson());
        }
    }
    if (!understood) {
        log_.Record("violation")
            .Text("reason", "bytes at a bit rate or frame the MCU is not using (garbage)")
            .Json("settings", host.ToJson())
            .Real("mcu_bit_rate", rate.value_or(0))
            .Hex("bytes", bytes, count);
        return;
    }
    receiver_.Arrive(bytes, count, host.bitRate, now);
}

void Board::OnDeadFileClosed() {
    ++deadFileAttempts_;
    log_.Record("unopenable-attempt").Number("attempt", deadFileAttempts_);
    if (options_.unopenableAttempts > 0 && deadFileAttempts_ >= options_.unopenableAttempts) {
        std::string error;
        const bool restored = line_.LinkToDevice(&error);
        log_.Record("link").Text("state", restored ? "device" : error);
    }
}

void Board::Tick(TimePoint now, bool portOpen, const LineSettings& host) {
    // In the wire's order: a timer that ran out before a byte was received goes first.
    while (const std::optional<ReceivedByte> received = receiver_.Take(now)) {
        boot_.Tick(received->at);
        boot_.Receive(received->byte, received->rate, received->at);
    }
    boot_.Tick(now);
    transmitter_.Pump(now, portOpen, host);
    if (vanishReason_ != nullptr && !vanishAt_ && transmitter_.Idle()) {
        vanishAt_ = now + kVanishDelay;
    }
    if (vanishAt_ && now >= *vanishAt_) {
        vanishAt_.reset();
        line_.Vanish();
        log_.Record("vanish").Text("reason", vanishReason_);
        vanishReason_ = nullptr;
    }
}

std::optional<TimePoint> Board::Deadline() const {
    std::optional<TimePoint> earliest;
    for (const std::optional<TimePoint>& deadline :
         {receiver_.Deadline(), boot_.Deadline(), transmitter_.Deadline(), vanishAt_}) {
        if (deadline && (!earliest || *deadline < *earliest)) {
            earliest = deadline;
        }
    }
    return earliest;
}

bool Board::WriteDump(const char* reason) {
    if (options_.dumpPath.empty()) {
        log_.Record("dump").Text("reason", reason);
        return true;
    }
    std::string error;
    if (!flash_.WriteDump(options_.dumpPath, &error)) {
        log_.Record("dump").Text("reason", reason).Text("error", error);
        return false;
    }
    log_.Record("dump").Text("reason", reason).Text("path", options_.dumpPath);
    return true;
}

void Board::OnMatchingByte() {
    if (++matchingBytes_ == options_.vanishAfterMatching) {
        VanishSoon("device unplugged after the matching byte");
    }
}

void Board::OnBlockAnswered(int number) {
    if (number == options_.vanishAfterBlock) {
        VanishSoon("device unplugged after the block");
    }
}

void Board::VanishSoon(const char* reason) {
    if (line_.Present() && vanishReason_ == nullptr) {
        vanishReason_ = reason;
    }
}

void Board::OnEndOfProgramming(bool accepted) {
    WriteDump("end of programming");
    if (accepted) {
        programmingFinished_ = true;
        BreakRebootPort();
    }
}

void Board::BreakRebootPort() {
    if (rebootPortBroken_ || options_.rebootPortFault == RebootPortFault::None) {
        return;
    }
    rebootPortBroken_ = true;
    std::string error;
    if (options_.rebootPortFault == RebootPortFault::LinkRemoved) {
        const bool removed = line_.RemoveLink(&error);
        log_.Record("link").Text("state", removed ? "removed" : error);
    } else {
        const bool redirected = line_.LinkToDeadFile(&error);
        log_.Record("link").Text("state", redirected ? "unopenable" : error);
    }
}

}  // namespace board_sim
