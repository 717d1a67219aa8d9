// A simulated board in process: the board library behind the update module's link and clock, in
// virtual time on the caller's thread, so that a whole session's fixed delays take milliseconds.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board-sim/board.h"
#include "board-sim/event_log.h"
#include "board-sim/flash_memory.h"
#include "board-sim/host_line.h"
#include "board-sim/line_settings.h"
#include "board-sim/sim_clock.h"
#include "board-sim/sim_options.h"
#include "serial/serial_link.h"
#include "serial/wait_clock.h"
#include "support/bytes.h"

// One board and the line to it. Open finds it under the port name the test chose; the host's
// bytes reach it at the virtual time of the Write, the line stays busy for their wire time, and
// its reply bytes wait in an input queue from their wire time on, each delivered by one
// DataReceived after a RequestRead. Nothing runs by itself: time passes only in WaitFor and Sleep,
// which deliver what falls due on the way. Events are raised on the caller's thread, from Open,
// Close, WaitFor and Sleep.
//
// Threads: one at a time. The module's thread while it runs; the test's before and after (a
// joined thread's work is seen by the joiner). Only an Event may be set from another thread.
class InProcessBoard final : public SerialLink, public WaitClock {
public:
    // `options` as velmora-board-sim takes them, without --link, --log and --dump, read by its own
    // parser; ready() tells whether it took them (a test failure says why not).
    explicit InProcessBoard(const std::vector<std::string>& options,
                            const std::string& portName = "sim-board");
    InProcessBoard(const InProcessBoard&) = delete;
    InProcessBoard& operator=(const InProcessBoard&) = delete;

    bool ready() const { return error_.empty(); }
    const std::string& PortName() const { return portName_; }

    // The module's link and clock, as it takes them: both lead here, and this object outlives them.
    std::unique_ptr<SerialLink> Link();
    std::unique_ptr<WaitClock> Clock();

    void SetEventCallback(RS232CEventCallback callback, void* context) override;
    // Another name, a vanished device or a removed link fail as a missing port would; a link to
    // no serial device as a regular file would.
    RS232COpenResult Open(const char* name, int32_t bitRate, int32_t parity, uint8_t byteSize,
                          bool lineEvents) override;
    const PortOpenProblem& LastOpenProblem() const override { return openProblem_; }
    void Close() override;
    // The rates above the driver's limit, told without the board seeing an opening.
    std::vector<RefusedBitRate> RefusedBitRates(const char* name,
                                                const std::vector<int32_t>& bitRates) override;
    void Write(const uint8_t* data, int32_t length) override;
    void RequestRead() override;
    const uint8_t* GetReceiveBuffer() const override { return &delivered_; }
    int32_t GetReceivedCount() const override { return receivedCount_; }
    bool IsOpen() const override { return open_; }
    bool IsWriting() const override { return writing_; }
    bool IsReadPending() const override { return readPending_; }
    bool IsLost() const override { return lost_; }

    // Virtual time since the board was made.
    std::chrono::nanoseconds Now() override;
    bool WaitFor(Event& event, int milliseconds) override;
    void Sleep(int milliseconds) override;

    // The board's event log, the same JSON lines as velmora-board-sim's --log.
    const std::vector<std::string>& LogLines() const;
    // Records of `kind` whose line also holds `text`.
    int Count(const std::string& kind, const std::string& text = "") const;
    // Lets virtual time run until Count(kind, text) reaches `count`, for at most `timeoutMs`.
    bool WaitFor(const std::string& kind, int count, const std::string& text = "",
                 int timeoutMs = 3000);
    // The log's time of the first such record: its "t", seconds since the board was made or
    // plugged in again.
    std::optional<double> TimeOf(const std::string& kind, const std::string& text = "") const;
    // Every byte the host wrote to the board, in order.
    const Bytes& HostBytes() const { return hostBytes_; }
    // The whole user MAT.
    Bytes Flash() const;

    // The port's driver from now on refuses every rate above `bitRate`, in Open as in
    // RefusedBitRates, as a driver whose divider cannot make them does.
    void RefuseBitRatesAbove(int32_t bitRate) { driverLimit_ = bitRate; }

    // The adapter plugged in again under the same name, with another board behind it that runs
    // its old firmware: options, log, flash and received bytes start afresh; time goes on.
    void Replug(const std::vector<std::string>& options);

private:
    // The board's end of the line.
    class BoardEnd final : public board_sim::HostLine {
    public:
        explicit BoardEnd(InProcessBoard& link) : link_(link) {}
        WriteResult Write(uint8_t byte) override;
        void DiscardUnreadReplies() override;
        long long OpenEvents() const override { return opens; }
        long long CloseEvents() const override { return closes; }
        bool Present() const override { return present; }
        void Vanish() override;
        bool RemoveLink(std::string* error) override;
        bool LinkToDeadFile(std::string* error) override;
        bool LinkToDevice(std::string* error) override;

        enum class Name { Device, Removed, DeadFile };
        Name name = Name::Device;
        bool present = true;
        long long opens = 0;
        long long closes = 0;

    private:
        InProcessBoard& link_;
    };

    // What Replug replaces: the board's parts and its end of the line.
    struct Plugged {
        Plugged(const board_sim::SimOptions& chosen, std::function<board_sim::TimePoint()> now,
                InProcessBoard& link);

        board_sim::SimOptions options;
        board_sim::EventLog log;
        board_sim::FlashMemory flash;
        BoardEnd end;
        board_sim::Board board;
    };

    void Plug(const std::vector<std::string>& options);
    void Raise(PortEvent event);
    // Lets virtual time run to `until` (none: as long as anything is due) or until `done` holds;
    // whether it held.
    bool Run(std::optional<board_sim::TimePoint> until, const std::function<bool()>& done);
    // Everything due by now: the board's timers, a write that has gone out, a lost device, the
    // bytes waiting for reads.
    void Settle();
    std::optional<board_sim::TimePoint> NextDeadline() const;

    const std::string portName_;
    std::string error_;
    std::unique_ptr<Plugged> plugged_;
    board_sim::TimePoint now_{};

    RS232CEventCallback callback_ = nullptr;
    void* context_ = nullptr;
    PortOpenProblem openProblem_;
    std::optional<int32_t> driverLimit_;     // the fastest rate the driver sets; none: any
    board_sim::LineSettings settings_;       // of the current opening, or the last one
    board_sim::Clock::duration byteTime_{};  // the wire time of one byte at those settings
    bool open_ = false;
    bool writing_ = false;
    board_sim::TimePoint writeDoneAt_{};
    bool readPending_ = false;
    bool lost_ = false;
    bool vanishing_ = false;  // the device went while the port was open: the reader ends
    std::deque<uint8_t> input_;
    uint8_t delivered_ = 0;
    int32_t receivedCount_ = 0;
    Bytes hostBytes_;
};
