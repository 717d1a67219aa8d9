// ModUpdate1527 from first contact to the confirmed fast link: the connection test, boot-mode
// entry, bit-rate matching and handshake, inquiries, selections and the bit-rate change.
#include <algorithm>
#include <cstdint>

#include "bootmode/boot_frame.h"
#include "bootmode/boot_protocol.h"
#include "bootmode/device_reply.h"
#include "bootmode/mod_update_1527.h"
#include "bootmode/reply_meaning.h"
#include "image/formatted_text.h"
#include "serial/serial_link.h"

namespace {

// Every way [03] can fail before the handshake, as the operator can act on it.
std::string MatchingUnanswered() {
    return FormatText(
        "the board did not answer the bit-rate matching (%u bytes 0x%02X at %d bps): check the "
        "board's power, its boot-mode pins, the cable and the port",
        static_cast<unsigned>(kMatchingAttempts), kMatchingByte, kMatchingBitRate);
}

}  // namespace

bool ModUpdate1527::OpenCom(const char* name) {
    Begin(Step::ConnectTest);
    blocksAcknowledged = 0;
    endAcknowledged = false;
    verifiedSum.reset();
    firstDifference.reset();
    connected = true;
    portName = name != nullptr ? name : "";
    // The connection test closes the port whether or not its reader came up.
    if (!OpenAtResetRate("OpenCom", ReaderWait::Ignored, "the port cannot be opened") ||
        ReportIfHalted("OpenCom")) {
        return false;
    }
    // A stop during the settling is honoured here, before the board is reset into boot mode.
    if (!Pause(kSettleAfterTestDelay)) {
        ReportIfHalted("OpenCom");
        return false;
    }
    return true;
}

bool ModUpdate1527::SetBootMode(bool) {
    Begin(Step::BootMode);
    if (!connected) {
        reports_->Error("ModUpdate1527::SetBootMode() - RS232C not connected?");
        return FailNotConnected();
    }
    return OpenAtResetRate("SetBootMode", ReaderWait::Required,
                           "the port did not come back after the connection test");
}

bool ModUpdate1527::ConnectApprove() {
    Begin(Step::Approval);
    reports_->Log("Connecting COM port via 9600bps ...\r\n");
    if (!connected) {
        return FailNotConnected();
    }
    const RS232COpenResult opened = OpenPort(kMatchingBitRate);
    if (opened != RS232COpenResult::PortOpened) {
        reports_->Log(FormatText("Connecting failed by %d \r\n", static_cast<int>(opened)).c_str());
        reports_->Error("ModUpdate1527::ConnectApprove() - On Error while open COM port !");
        return FailOpening(MatchingUnanswered());
    }
    if (!WaitPortReady(kReadyPolls) || !Pause(kSettleAfterOpenDelay)) {
        // Only the wait for the reader ends without a stop: its bound passed.
        if (!ReportIfHalted("ConnectApprove")) {
            Fail(FailureCause::TimeBound, MatchingUnanswered());
        }
        return false;
    }
    bool matched = false;
    for (int attempt = 0; attempt < kMatchingAttempts && !matched; ++attempt) {
        matched = StartsWith(Transact(kMatchingByte, kMatchingDelay, kSendLimit, ReplyShape::Byte),
                             kMatchingByte);
        if (ReportIfHalted("ConnectApprove")) {
            return false;
        }
    }
    if (!matched) {
        return Fail(FailureCause::NoAnswer, MatchingUnanswered());
    }
    const std::vector<uint8_t> reply =
        Transact(kHandshake, kHandshakeDelay, kSendLimit, ReplyShape::Byte);
    if (ReportIfHalted("ConnectApprove")) {
        return false;
    }
    if (!StartsWith(reply, kHandshakeReply)) {
        reports_->Error(
            "ModUpdate1527::ConnectApprove() - No boot response: 0x55 was not answered by "
            "0xE6 !");
        if (reply.empty()) {
            return Fail(FailureCause::NoAnswer,
                        FormatText("the board did not answer the handshake 0x%02X", kHandshake));
        }
        return Fail(FailureCause::Refused,
                    FormatText("the board answered the handshake 0x%02X with ", kHandshake) +
                        ByteList(reply) + FormatText(", not 0x%02X", kHandshakeReply));
    }
    return true;
}

bool ModUpdate1527::InquireDevices(DeviceList& list) {
    Begin(Step::SupportModeCheck);
    if (!connected) {
        return FailNotConnected();
    }
    const std::vector<uint8_t> reply =
        Transact(kDeviceInquiry, kDeviceInquiryDelay, kSendLimit, ReplyShape::Inquiry);
    if (ReportIfHalted("InquireDevices")) {
        return false;
    }
    if (!StartsWith(reply, kDeviceReply)) {
        return FailUnacknowledged();
    }
    if (!AwaitReply(kDeviceReplyRestDelay, ReplyShape::Inquiry)) {
        ReportIfHalted("InquireDevices");
        return false;
    }
    if (!ReadDeviceReply(TakeReply(), list)) {
        return FailInquiry(kDeviceReply);
    }
    received.Clear();
    return true;
}

bool ModUpdate1527::InquireProgrammingModes(std::vector<uint16_t>& modes) {
    Begin(Step::ProgrammingModeInquiry);
    modes.clear();
    if (!connected) {
        return FailNotConnected();
    }
    const std::vector<uint8_t> reply =
        Transact(kProgrammingUnitInquiry, kProgrammingUnitDelay, kSendLimit, ReplyShape::Inquiry);
    if (ReportIfHalted("InquireProgrammingModes")) {
        return false;
    }
    if (reply.size() < kShortestUnitReply || reply[0] != kProgrammingUnitReply) {
        return FailInquiry(kProgrammingUnitReply);
    }
    // The reply's data as big-endian 16-bit values, as far as both the size byte and the bytes
    // received reach.
    const size_t dataEnd = std::min<size_t>(2 + reply[1], reply.size());
    for (size_t offset = 2; offset + 1 < dataEnd; offset += 2) {
        modes.push_back(static_cast<uint16_t>(reply[offset] << 8 | reply[offset + 1]));
    }
    return true;
}

bool ModUpdate1527::SelectDevice(const DeviceEntry& entry) {
    Begin(Step::DeviceSelection);
    if (!connected) {
        return FailNotConnected();
    }
    return AcknowledgedTransaction("SelectDevice",
                                   CommandFrame(kDeviceSelection, entry.code, sizeof(entry.code)),
                                   kSelectionDelay);
}

bool ModUpdate1527::SetClockMode(uint8_t mode) {
    Begin(Step::ClockModeSet);
    if (!connected) {
        return FailNotConnected();
    }
    return AcknowledgedTransaction("SetClockMode", CommandFrame(kClockModeSelection, &mode, 1),
                                   kSelectionDelay);
}

bool ModUpdate1527::SelectBPS(const uint8_t* parameters) {
    Begin(Step::ChangingBitRate);
    if (!connected) {
        return FailNotConnected();
    }
    if (parameters == nullptr) {
        return Fail(FailureCause::NotStarted, "no bit-rate parameters were given");
    }
    const int ratios = static_cast<int8_t>(parameters[kFixedBitRateParameters - 1]);
    // The size byte counts the parameter bytes actually sent, also when n is 0 or below.
    const size_t count = kFixedBitRateParameters + (ratios > 0 ? static_cast<size_t>(ratios) : 0);
    // More ratios than the block holds would be read from beyond it.
    if (count > kBitRateParameterBlock) {
        return Fail(FailureCause::NotStarted, "the bit-rate parameters hold more ratios than fit");
    }
    return AcknowledgedTransaction(
        "SelectBPS", CommandFrame(kNewBitRateSelection, parameters, count), kBitRateSelectionDelay);
}

bool ModUpdate1527::ChangeBPS(int bitRate) {
    Begin(Step::ChangingBitRate);
    if (!connected) {
        return FailNotConnected();
    }
    port->Close();
    programmingBitRate = bitRate;
    const std::string unavailable = FormatText("the port did not reopen at %d bps", bitRate);
    if (OpenPort(bitRate) != RS232COpenResult::PortOpened) {
        reports_->Error("ModUpdate1527::ChangeBPS() - On Error while open COM port !");
        return FailOpening(unavailable);
    }
    if (!WaitPortReady(kReadyPolls)) {
        if (!ReportIfHalted("ChangeBPS")) {
            Fail(FailureCause::TimeBound, unavailable);
        }
        return false;
    }
    return true;
}

bool ModUpdate1527::ConfirmBPS() {
    Begin(Step::ConfirmBitRate);
    if (!connected) {
        return FailNotConnected();
    }
    SendFrame(&kBitRateConfirmation, 1);
    if (!AwaitReply(kConfirmationDelay, ReplyShape::Ack)) {
        ReportIfHalted("ConfirmBPS");
        return false;
    }
    const std::vector<uint8_t> reply = TakeReply();
    if (reply.empty()) {
        return Fail(FailureCause::NoAnswer,
                    FormatText("the board did not confirm the new bit rate: no ACK to 0x%02X at "
                               "%d bps",
                               kBitRateConfirmation, programmingBitRate));
    }
    return StartsWith(reply, kAck) || FailUnacknowledged();
}
