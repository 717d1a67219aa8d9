// ModUpdate1527 from first contact to the confirmed fast link: the connection test, boot-mode
// entry, bit-rate matching and handshake, inquiries, selections and the bit-rate change.
#include <algorithm>
#include <cstdint>

#include "bootmode/boot_frame.h"
#include "bootmode/boot_protocol.h"
#include "bootmode/device_reply.h"
#include "bootmode/mod_update_1527.h"
#include "image/formatted_text.h"
#include "serial/serial_link.h"

bool ModUpdate1527::OpenCom(const char* name) {
    lastExchange = BoardExchange();
    blocksAcknowledged = 0;
    endAcknowledged = false;
    verifiedSum.reset();
    firstDifference.reset();
    lostTheLink = false;
    connected = true;
    portName = name != nullptr ? name : "";
    if (OpenPort(kResetBitRate) != RS232COpenResult::PortOpened) {
        reports_->Error("ModUpdate1527::OpenCom() - On Error while open COM port !");
        return false;
    }
    WaitPortReady(kReadyPolls);
    port->Close();
    if (ReportIfHalted("OpenCom")) {
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
    if (!connected) {
        reports_->Error("ModUpdate1527::SetBootMode() - RS232C not connected?");
        return false;
    }
    if (OpenPort(kResetBitRate) != RS232COpenResult::PortOpened) {
        reports_->Error("ModUpdate1527::SetBootMode() - On Error while open COM port !");
        return false;
    }
    if (!WaitPortReady(kReadyPolls)) {
        ReportIfHalted("SetBootMode");
        return false;
    }
    port->Close();
    return true;
}

bool ModUpdate1527::ConnectApprove() {
    reports_->Log("Connecting COM port via 9600bps ...\r\n");
    if (!connected) {
        return false;
    }
    const RS232COpenResult opened = OpenPort(kMatchingBitRate);
    if (opened != RS232COpenResult::PortOpened) {
        reports_->Log(FormatText("Connecting failed by %d \r\n", static_cast<int>(opened)).c_str());
        reports_->Error("ModUpdate1527::ConnectApprove() - On Error while open COM port !");
        return false;
    }
    if (!WaitPortReady(kReadyPolls) || !Pause(kSettleAfterOpenDelay)) {
        ReportIfHalted("ConnectApprove");
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
        return false;
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
        return false;
    }
    return true;
}

bool ModUpdate1527::InquireDevices(DeviceList& list) {
    if (!connected) {
        return false;
    }
    const std::vector<uint8_t> reply =
        Transact(kDeviceInquiry, kDeviceInquiryDelay, kSendLimit, ReplyShape::Inquiry);
    if (ReportIfHalted("InquireDevices") || !StartsWith(reply, kDeviceReply)) {
        return false;
    }
    if (!AwaitReply(kDeviceReplyRestDelay, ReplyShape::Inquiry)) {
        ReportIfHalted("InquireDevices");
        return false;
    }
    if (!ReadDeviceReply(TakeReply(), list)) {
        return false;
    }
    received.Clear();
    return true;
}

bool ModUpdate1527::InquireProgrammingModes(std::vector<uint16_t>& modes) {
    modes.clear();
    if (!connected) {
        return false;
    }
    const std::vector<uint8_t> reply =
        Transact(kProgrammingUnitInquiry, kProgrammingUnitDelay, kSendLimit, ReplyShape::Inquiry);
    if (ReportIfHalted("InquireProgrammingModes")) {
        return false;
    }
    if (reply.size() < kShortestUnitReply || reply[0] != kProgrammingUnitReply) {
        return false;
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
    if (!connected) {
        return false;
    }
    return AcknowledgedTransaction("SelectDevice",
                                   CommandFrame(kDeviceSelection, entry.code, sizeof(entry.code)),
                                   kSelectionDelay);
}

bool ModUpdate1527::SetClockMode(uint8_t mode) {
    if (!connected) {
        return false;
    }
    return AcknowledgedTransaction("SetClockMode", CommandFrame(kClockModeSelection, &mode, 1),
                                   kSelectionDelay);
}

bool ModUpdate1527::SelectBPS(const uint8_t* parameters) {
    if (!connected || parameters == nullptr) {
        return false;
    }
    const int ratios = static_cast<int8_t>(parameters[kFixedBitRateParameters - 1]);
    // The size byte counts the parameter bytes actually sent, also when n is 0 or below.
    const size_t count = kFixedBitRateParameters + (ratios > 0 ? static_cast<size_t>(ratios) : 0);
    // More ratios than the block holds would be read from beyond it.
    if (count > kBitRateParameterBlock) {
        return false;
    }
    return AcknowledgedTransaction(
        "SelectBPS", CommandFrame(kNewBitRateSelection, parameters, count), kBitRateSelectionDelay);
}

bool ModUpdate1527::ChangeBPS(int bitRate) {
    if (!connected) {
        return false;
    }
    port->Close();
    programmingBitRate = bitRate;
    if (OpenPort(bitRate) != RS232COpenResult::PortOpened) {
        reports_->Error("ModUpdate1527::ChangeBPS() - On Error while open COM port !");
        return false;
    }
    if (!WaitPortReady(kReadyPolls)) {
        ReportIfHalted("ChangeBPS");
        return false;
    }
    return true;
}

bool ModUpdate1527::ConfirmBPS() {
    if (!connected) {
        return false;
    }
    SendFrame(&kBitRateConfirmation, 1);
    if (!AwaitReply(kConfirmationDelay, ReplyShape::Ack)) {
        ReportIfHalted("ConfirmBPS");
        return false;
    }
    return StartsWith(TakeReply(), kAck);
}
