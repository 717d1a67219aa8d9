// The board around the MCU: resets and reboots on the host's port openings, whether the host's
// bytes reach the MCU's UART, and the faults of the port itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "boot_program.h"
#include "event_log.h"
#include "flash_memory.h"
#include "host_line.h"
#include "line_settings.h"
#include "receiver.h"
#include "sim_clock.h"
#include "sim_options.h"
#include "transmitter.h"

namespace board_sim {

class Board final : public BootListener {
public:
    Board(const SimOptions& options, HostLine& line, FlashMemory& flash, EventLog& log);

    void OnHostOpened();
    // `last` holds the settings the host's port had when it closed.
    void OnHostClosed(const LineSettings& last);
    void OnHostBytes(const uint8_t* bytes, size_t count, const LineSettings& host, TimePoint now);
    // One failed attempt of the host on the link that leads to no serial device.
    void OnDeadFileClosed();
    void Tick(TimePoint now, bool portOpen, const LineSettings& host);
    std::optional<TimePoint> Deadline() const;
    bool WriteDump(const char* reason);

private:
    // Before its first reset the MCU runs its old firmware; after an accepted end of programming
    // the next reset boots the new one.
    enum class Mode { OldFirmware, BootProgram, NewFirmware };

    void Reset();
    void OnMatchingByte() override;
    void OnBlockAnswered(int number) override;
    // The device goes once the transmitter has sent what it holds.
    void VanishSoon(const char* reason);
    void OnEndOfProgramming(bool accepted) override;
    void BreakRebootPort();

    const SimOptions& options_;
    HostLine& line_;
    FlashMemory& flash_;
    EventLog& log_;
    Receiver receiver_;
    Transmitter transmitter_;
    BootProgram boot_;

    Mode mode_ = Mode::OldFirmware;
    bool programmingFinished_ = false;
    bool lineJudged_ = false;             // the host's line settings were checked in this opening
    int matchingBytes_ = 0;               // since the simulator started
    const char* vanishReason_ = nullptr;  // set while a vanish is pending
    std::optional<TimePoint> vanishAt_;
    bool rebootPortBroken_ = false;
    int deadFileAttempts_ = 0;
};

}  // namespace board_sim
