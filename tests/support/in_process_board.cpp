// The simulated board in process: the line's states, virtual time and the delivery of the board's
// replies.
#include "support/in_process_board.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "serial/thread_sync.h"

namespace {

// Start bit, data bits, parity bit if any, stop bit.
int FrameBits(uint8_t byteSize, int32_t parity) {
    return 1 + byteSize + (parity != 0 ? 1 : 0) + 1;
}

// The module owns what it is handed; these lead to the board that the test owns.
class LinkTo final : public SerialLink {
public:
    explicit LinkTo(SerialLink& link) : link_(link) {}

    void SetEventCallback(RS232CEventCallback callback, void* context) override {
        link_.SetEventCallback(callback, context);
    }
    RS232COpenResult Open(const char* name, int32_t bitRate, int32_t parity, uint8_t byteSize,
                          bool lineEvents) override {
        return link_.Open(name, bitRate, parity, byteSize, lineEvents);
    }
    const PortOpenProblem& LastOpenProblem() const override { return link_.LastOpenProblem(); }
    void Close() override { link_.Close(); }
    std::vector<RefusedBitRate> RefusedBitRates(const char* name,
                                                const std::vector<int32_t>& bitRates) override {
        return link_.RefusedBitRates(name, bitRates);
    }
    void Write(const uint8_t* data, int32_t length) override { link_.Write(data, length); }
    void RequestRead() override { link_.RequestRead(); }
    const uint8_t* GetReceiveBuffer() const override { return link_.GetReceiveBuffer(); }
    int32_t GetReceivedCount() const override { return link_.GetReceivedCount(); }
    bool IsOpen() const override { return link_.IsOpen(); }
    bool IsWriting() const override { return link_.IsWriting(); }
    bool IsReadPending() const override { return link_.IsReadPending(); }
    bool IsLost() const override { return link_.IsLost(); }

private:
    SerialLink& link_;
};

class ClockOf final : public WaitClock {
public:
    explicit ClockOf(WaitClock& clock) : clock_(clock) {}

    std::chrono::nanoseconds Now() override { return clock_.Now(); }
    bool WaitFor(Event& event, int milliseconds) override {
        return clock_.WaitFor(event, milliseconds);
    }
    void Sleep(int milliseconds) override { clock_.Sleep(milliseconds); }

private:
    WaitClock& clock_;
};

}  // namespace

InProcessBoard::Plugged::Plugged(const board_sim::SimOptions& chosen,
                                 std::function<board_sim::TimePoint()> now, InProcessBoard& link)
    : options(chosen),
      log(std::move(now)),
      flash(options.userMatSize),
      end(link),
      board(options, end, flash, log) {
    log.KeepLines();
}

InProcessBoard::InProcessBoard(const std::vector<std::string>& options, const std::string& portName)
    : portName_(portName) {
    Plug(options);
}

void InProcessBoard::Plug(const std::vector<std::string>& options) {
    std::vector<std::string> arguments{"velmora-board-sim", "--link", portName_};
    arguments.insert(arguments.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    board_sim::SimOptions chosen;
    error_.clear();
    if (board_sim::ParseOptions(static_cast<int>(argv.size()), argv.data(), &chosen, &error_) !=
        board_sim::ParseOutcome::Run) {
        error_ = error_.empty() ? "--help is no board" : error_;
    }
    EXPECT_TRUE(error_.empty()) << "the board refused its options: " << error_;
    // The flash is read where it is: no dump file.
    chosen.dumpPath.clear();
    plugged_ = std::make_unique<Plugged>(
        chosen, [this] { return now_; }, *this);
    settings_ = board_sim::LineSettings();
    hostBytes_.clear();
    plugged_->log.Record("start")
        .Text("link", portName_)
        .Number("flash_size", plugged_->flash.Size());
}

void InProcessBoard::Replug(const std::vector<std::string>& options) {
    Close();
    input_.clear();
    Plug(options);
}

std::unique_ptr<SerialLink> InProcessBoard::Link() {
    return std::make_unique<LinkTo>(*this);
}

std::unique_ptr<WaitClock> InProcessBoard::Clock() {
    return std::make_unique<ClockOf>(*this);
}

void InProcessBoard::SetEventCallback(RS232CEventCallback callback, void* context) {
    callback_ = callback;
    context_ = context;
}

RS232COpenResult InProcessBoard::Open(const char* name, int32_t bitRate, int32_t parity,
                                      uint8_t byteSize, bool) {
    openProblem_ = PortOpenProblem();
    if (open_) {
        return RS232COpenResult::DeviceNotOpened;
    }
    // Each opening starts afresh, as a real port's does.
    writing_ = false;
    lost_ = false;
    if (name == nullptr) {
        return RS232COpenResult::NoPortName;
    }
    BoardEnd& end = plugged_->end;
    if (name != portName_ || !end.present || end.name == BoardEnd::Name::Removed) {
        openProblem_ = {PortProblem::NoSuchPort, std::string()};
        return RS232COpenResult::DeviceNotOpened;
    }
    if (end.name == BoardEnd::Name::DeadFile) {
        openProblem_ = {PortProblem::NotSerial, std::string()};
        // The host opened the file, found no serial port and closed it again.
        plugged_->board.OnDeadFileClosed();
        return RS232COpenResult::LineSettingsRefused;
    }
    if (bitRate <= 0) {
        openProblem_ = {PortProblem::RateRefused, "no bit rate"};
        return RS232COpenResult::LineSettingsRefused;
    }
    if (driverLimit_ && bitRate > *driverLimit_) {
        openProblem_ = {PortProblem::RateRefused, "the driver refused it: Invalid argument"};
        return RS232COpenResult::LineSettingsRefused;
    }
    board_sim::LineSettings settings;
    settings.bitRate = bitRate;
    settings.dataBits = byteSize;
    settings.parity = parity == 1 ? 'O' : parity == 2 ? 'E' : 'N';
    byteTime_ = board_sim::Seconds(static_cast<double>(FrameBits(byteSize, parity)) / bitRate);
    open_ = true;
    readPending_ = true;
    ++end.opens;
    plugged_->board.OnHostOpened();
    if (settings != settings_) {
        settings_ = settings;
        plugged_->log.Record("settings").Json("settings", settings_.ToJson());
    }
    Raise(PortEvent::Started);
    return RS232COpenResult::PortOpened;
}

std::vector<RefusedBitRate> InProcessBoard::RefusedBitRates(const char* name,
                                                            const std::vector<int32_t>& bitRates) {
    std::vector<RefusedBitRate> refused;
    if (open_ || name == nullptr || name != portName_ || !driverLimit_) {
        return refused;
    }
    for (const int32_t bitRate : bitRates) {
        if (bitRate > *driverLimit_) {
            refused.push_back({bitRate, "the driver refused it: Invalid argument"});
        }
    }
    return refused;
}

void InProcessBoard::Close() {
    if (!open_) {
        return;
    }
    open_ = false;
    readPending_ = false;
    ++plugged_->end.closes;
    Raise(PortEvent::Stopped);
    plugged_->board.OnHostClosed(settings_);
}

void InProcessBoard::Write(const uint8_t* data, int32_t length) {
    if (writing_ || data == nullptr || length < 0 || length > 255) {
        return;
    }
    writing_ = true;
    // Bytes handed over while the port is closed never go out, and the line stays busy until the
    // next opening, as on a real port.
    if (!open_) {
        return;
    }
    writeDoneAt_ = now_ + byteTime_ * length;
    hostBytes_.insert(hostBytes_.end(), data, data + length);
    if (length > 0) {
        plugged_->board.OnHostBytes(data, static_cast<size_t>(length), settings_, now_);
    }
}

void InProcessBoard::RequestRead() {
    if (open_) {
        readPending_ = true;
    }
}

std::chrono::nanoseconds InProcessBoard::Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now_.time_since_epoch());
}

bool InProcessBoard::WaitFor(Event& event, int milliseconds) {
    const auto set = [&event] { return event.Wait(0); };
    if (milliseconds >= 0) {
        return Run(now_ + std::chrono::milliseconds(milliseconds), set);
    }
    // Nothing is due in virtual time any more: only another thread can set the event now.
    return Run(std::nullopt, set) || event.Wait(-1);
}

void InProcessBoard::Sleep(int milliseconds) {
    Run(now_ + std::chrono::milliseconds(std::max(milliseconds, 0)), [] { return false; });
}

bool InProcessBoard::Run(std::optional<board_sim::TimePoint> until,
                         const std::function<bool()>& done) {
    for (;;) {
        Settle();
        if (done()) {
            return true;
        }
        const std::optional<board_sim::TimePoint> next = NextDeadline();
        if (!until && !next) {
            return false;
        }
        if (until && (!next || *next >= *until)) {
            now_ = std::max(now_, *until);
            Settle();
            return done();
        }
        now_ = *next;
    }
}

void InProcessBoard::Settle() {
    for (bool acted = true; acted;) {
        acted = false;
        plugged_->board.Tick(now_, open_ && plugged_->end.present, settings_);
        if (vanishing_) {
            // The reader ends on the failed read of a device that has gone.
            vanishing_ = false;
            open_ = false;
            readPending_ = false;
            lost_ = true;
            Raise(PortEvent::Stopped);
            acted = true;
        }
        if (open_ && writing_ && writeDoneAt_ <= now_) {
            writing_ = false;
            Raise(PortEvent::WriteDone);
            acted = true;
        }
        while (open_ && readPending_ && !input_.empty()) {
            delivered_ = input_.front();
            input_.pop_front();
            receivedCount_ = 1;
            readPending_ = false;
            Raise(PortEvent::DataReceived);
            acted = true;
        }
    }
}

std::optional<board_sim::TimePoint> InProcessBoard::NextDeadline() const {
    std::optional<board_sim::TimePoint> next = plugged_->board.Deadline();
    if (open_ && writing_ && (!next || writeDoneAt_ < *next)) {
        next = writeDoneAt_;
    }
    return next;
}

void InProcessBoard::Raise(PortEvent event) {
    if (callback_ != nullptr) {
        callback_(this, static_cast<int32_t>(event), context_);
    }
}

const std::vector<std::string>& InProcessBoard::LogLines() const {
    return plugged_->log.Lines();
}

int InProcessBoard::Count(const std::string& kind, const std::string& text) const {
    const std::string tag = "\"kind\":\"" + kind + "\"";
    return static_cast<int>(
        std::count_if(LogLines().begin(), LogLines().end(), [&](const std::string& line) {
            return line.find(tag) != std::string::npos && line.find(text) != std::string::npos;
        }));
}

bool InProcessBoard::WaitFor(const std::string& kind, int count, const std::string& text,
                             int timeoutMs) {
    return Run(now_ + std::chrono::milliseconds(timeoutMs),
               [&] { return Count(kind, text) >= count; });
}

std::optional<double> InProcessBoard::TimeOf(const std::string& kind,
                                             const std::string& text) const {
    const std::string head = "{\"t\":";
    const std::string tag = "\"kind\":\"" + kind + "\"";
    for (const std::string& line : LogLines()) {
        if (line.rfind(head, 0) == 0 && line.find(tag) != std::string::npos &&
            line.find(text) != std::string::npos) {
            return std::stod(line.substr(head.size()));
        }
    }
    return std::nullopt;
}

Bytes InProcessBoard::Flash() const {
    return plugged_->flash.Read(0, plugged_->flash.Size());
}

board_sim::HostLine::WriteResult InProcessBoard::BoardEnd::Write(uint8_t byte) {
    if (!present) {
        return WriteResult::Failed;
    }
    link_.input_.push_back(byte);
    return WriteResult::Written;
}

void InProcessBoard::BoardEnd::DiscardUnreadReplies() {
    link_.input_.clear();
}

void InProcessBoard::BoardEnd::Vanish() {
    present = false;
    link_.vanishing_ = link_.open_;
}

bool InProcessBoard::BoardEnd::RemoveLink(std::string*) {
    name = Name::Removed;
    return true;
}

bool InProcessBoard::BoardEnd::LinkToDeadFile(std::string*) {
    name = Name::DeadFile;
    return true;
}

bool InProcessBoard::BoardEnd::LinkToDevice(std::string*) {
    name = Name::Device;
    return true;
}
