// ModUpdate1527's life, its port and the waits and event callback that every operation shares.
//
// Threads: the update thread runs every operation; the port's reader thread runs OnSerialEvent,
// which appends to the module's receive buffer (serialised there) and writes readerActive
// (atomic). The port hands the module to the callback as its context, so that each module hears
// only its own port.
//
// Waits. Every wait of an operation is a ModulePause. When the reader thread ends on an I/O
// failure, OnSerialEvent raises the pause's LinkLost on the reader thread: the pause under way
// ends at once, and so does every later one until OpenPort clears it before the next opening.
// Interrupt (from any thread) raises Interrupted the same way and for good, and SendFrame sends
// nothing any more; Abort adds the waits for the port. The operation that meets either reports it
// and fails, and the update run takes its way out. Reply-paced, received bytes poke the pause, so
// that a transaction ends as soon as its reply is complete.
//
// Failures. Every operation begins afresh (Begin); each way it returns false records why (Fail),
// with its step, the frame it sent last and that frame's reply, and the cause in words.
#include "bootmode/mod_update_1527.h"

#include "bootmode/boot_protocol.h"
#include "bootmode/reply_meaning.h"
#include "image/formatted_text.h"
#include "serial/serial_link.h"

ModUpdate1527::ModUpdate1527(std::unique_ptr<SerialLink> link, std::unique_ptr<WaitClock> clock)
    : readerActive(false),
      clock_(std::move(clock)),
      port(std::move(link)),
      connected(false),
      received(),
      options(),
      programmingState(false),
      programmingBitRate(kProgrammingBitRate),
      portName(),
      sent_(),
      reply_(),
      failure_(),
      blocksAcknowledged(0),
      endAcknowledged(false),
      verifiedSum(),
      firstDifference(),
      pause(*clock_),
      reports_(&nobody_) {
    port->SetEventCallback(&ModUpdate1527::OnSerialEvent, this);
}

ModUpdate1527::~ModUpdate1527() {
    port->Close();
    // Before the members go: the reader thread calls into them until the port is gone.
    port.reset();
}

void ModUpdate1527::SetReports(ModuleReports* reports) {
    reports_ = reports != nullptr ? reports : &nobody_;
}

void ModUpdate1527::CloseCom() {
    if (connected) {
        port->Close();
    }
}

std::vector<RefusedBitRate> ModUpdate1527::BitRatesRefused(const char* name,
                                                           const std::vector<int>& bitRates) {
    return port->RefusedBitRates(name, std::vector<int32_t>(bitRates.begin(), bitRates.end()));
}

bool ModUpdate1527::WaitPortReady(int polls) {
    // An interrupted run still opens and closes the port on its way out (the reboot): only a lost
    // link or an abort cut this wait short.
    const unsigned heeded =
        static_cast<unsigned>(PauseStop::LinkLost) | static_cast<unsigned>(PauseStop::Aborted);
    for (int i = 0; i < polls; ++i) {
        if (connected && port->IsOpen() && readerActive.load()) {
            return true;
        }
        if (!pause.For(kReadyPollMilliseconds, heeded)) {
            return false;
        }
    }
    return false;
}

bool ModUpdate1527::WaitSendDone(int limit) {
    int polls = 0;
    while (connected && port->IsWriting() && port->IsReadPending()) {
        if (++polls == kSendPollGiveUp || !Pause(kSendPollMilliseconds)) {
            return false;
        }
    }
    return polls < limit;
}

bool ModUpdate1527::Pause(int milliseconds) {
    return pause.For(milliseconds);
}

void ModUpdate1527::Begin(Step step) {
    sent_.clear();
    reply_.clear();
    failure_ = StepFailure();
    failure_.step = step;
}

bool ModUpdate1527::Fail(FailureCause cause, const std::string& description) {
    failure_.cause = cause;
    failure_.sent = sent_;
    failure_.reply = reply_;
    failure_.description = description;
    return false;
}

bool ModUpdate1527::FailNotConnected() {
    return Fail(FailureCause::NotStarted,
                "the port was never opened: no connection test came first");
}

bool ModUpdate1527::FailOpening(const std::string& description) {
    failure_.portProblem = port->LastOpenProblem();
    return Fail(FailureCause::PortNotOpened, description);
}

bool ModUpdate1527::FailUnacknowledged() {
    return Fail(reply_.empty() ? FailureCause::NoAnswer : FailureCause::Refused,
                AnswerText(sent_, reply_));
}

bool ModUpdate1527::FailInquiry(uint8_t code) {
    if (StartsWith(reply_, code)) {
        return Fail(FailureCause::MalformedReply, AnswerText(sent_, reply_));
    }
    return FailUnacknowledged();
}

RS232COpenResult ModUpdate1527::OpenPort(int bitRate) {
    // Only a reader thread of this opening can lose the link from here on: Open waits for the
    // previous one, which raised its Stopped before it ended.
    pause.Clear(PauseStop::LinkLost);
    return port->Open(portName.c_str(), bitRate, kNoParity, kDataBits, false);
}

bool ModUpdate1527::OpenAtResetRate(const char* operation, ReaderWait wait,
                                    const std::string& unavailable) {
    if (OpenPort(kResetBitRate) != RS232COpenResult::PortOpened) {
        reports_->Error(
            FormatText("ModUpdate1527::%s() - On Error while open COM port !", operation).c_str());
        return FailOpening(unavailable);
    }
    if (!WaitPortReady(kReadyPolls) && wait == ReaderWait::Required) {
        if (!ReportIfHalted(operation)) {
            Fail(FailureCause::TimeBound, unavailable);
        }
        return false;
    }
    port->Close();
    return true;
}

void ModUpdate1527::SendFrame(const uint8_t* frame, size_t length) {
    received.Clear();
    sent_.assign(frame, frame + length);
    reply_.clear();
    if (!Interrupted()) {
        port->Write(frame, static_cast<int32_t>(length));
    }
}

std::vector<uint8_t> ModUpdate1527::TakeReply() {
    reply_ = received.Snapshot();
    return reply_;
}

std::vector<uint8_t> ModUpdate1527::Transact(const uint8_t* frame, size_t length,
                                             int delayMilliseconds, int sendLimit,
                                             ReplyShape shape) {
    SendFrame(frame, length);
    AwaitReply(delayMilliseconds, shape);
    WaitSendDone(sendLimit);
    return TakeReply();
}

std::vector<uint8_t> ModUpdate1527::Transact(uint8_t command, int delayMilliseconds, int sendLimit,
                                             ReplyShape shape) {
    return Transact(&command, 1, delayMilliseconds, sendLimit, shape);
}

bool ModUpdate1527::AwaitReply(int milliseconds, ReplyShape shape) {
    if (!options.replyPaced) {
        return Pause(milliseconds);
    }
    const bool complete = pause.Until(milliseconds, [this, shape] {
        return received.Test(
            [shape](const std::vector<uint8_t>& reply) { return ReplyComplete(shape, reply); });
    });
    return complete || !pause.Stopped();
}

void ModUpdate1527::AwaitFirstByte(int milliseconds) {
    pause.Until(milliseconds, [this] { return received.Size() > 0; });
}

void ModUpdate1527::SetOptions(const ModuleOptions& chosen) {
    options = chosen;
}

bool ModUpdate1527::StartsWith(const std::vector<uint8_t>& reply, uint8_t first) {
    return !reply.empty() && reply[0] == first;
}

void ModUpdate1527::Interrupt() {
    pause.Raise(PauseStop::Interrupted);
}

void ModUpdate1527::Abort() {
    pause.Raise(PauseStop::Interrupted);
    pause.Raise(PauseStop::Aborted);
}

bool ModUpdate1527::Interrupted() const {
    return pause.Holds(PauseStop::Interrupted);
}

bool ModUpdate1527::ReportIfHalted(const char* operation) {
    if (pause.Holds(PauseStop::LinkLost)) {
        reports_->Error(FormatText("ModUpdate1527::%s() - The COM port was lost: its device has "
                                   "gone away !",
                                   operation)
                            .c_str());
        Fail(FailureCause::LinkLost, "the port's device went away");
        return true;
    }
    if (Interrupted()) {
        reports_->Error(
            FormatText("ModUpdate1527::%s() - Stopped on request before the next frame !",
                       operation)
                .c_str());
        Fail(FailureCause::Stopped, "stopped on request before the next frame");
        return true;
    }
    return false;
}

int32_t ModUpdate1527::OnSerialEvent(SerialLink* eventPort, int32_t code, void* context) {
    ModUpdate1527* module = static_cast<ModUpdate1527*>(context);
    if (eventPort == nullptr || module == nullptr) {
        return 0;
    }
    const PortEvent event = static_cast<PortEvent>(code);
    switch (event) {
        case PortEvent::Started:
        case PortEvent::Stopped:
            module->readerActive.store(event == PortEvent::Started);
            if (event == PortEvent::Stopped && eventPort->IsLost()) {
                module->pause.Raise(PauseStop::LinkLost);
            }
            break;
        case PortEvent::DataReceived: {
            const int32_t count = eventPort->GetReceivedCount();
            if (count > 0) {
                module->received.Append(eventPort->GetReceiveBuffer(), static_cast<size_t>(count));
                // A reply-paced transaction looks at the reply again.
                module->pause.Poke();
            }
            eventPort->RequestRead();
            break;
        }
        default:
            break;
    }
    return 0;
}

bool ModUpdate1527::AcknowledgedTransaction(const char* operation,
                                            const std::vector<uint8_t>& frame,
                                            int delayMilliseconds) {
    const std::vector<uint8_t> reply =
        Transact(frame.data(), frame.size(), delayMilliseconds, kSendLimit, ReplyShape::Ack);
    if (ReportIfHalted(operation)) {
        return false;
    }
    return StartsWith(reply, kAck) || FailUnacknowledged();
}
