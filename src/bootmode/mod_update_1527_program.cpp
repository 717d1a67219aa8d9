// ModUpdate1527 from the programming state to the rebooted board: erase, block programming,
// end of programming and reboot.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "bootmode/block_reports.h"
#include "bootmode/boot_frame.h"
#include "bootmode/boot_protocol.h"
#include "bootmode/firmware_image.h"
#include "bootmode/mod_update_1527.h"
#include "bootmode/reply_meaning.h"
#include "image/formatted_text.h"
#include "serial/serial_link.h"

namespace {

bool IsChecksumRefusal(const std::vector<uint8_t>& reply) {
    return reply.size() >= 2 && reply[0] == kProgrammingError && reply[1] == kChecksumDetail;
}

bool StatusAllowsProgramming(const std::vector<uint8_t>& reply) {
    if (reply.size() < kShortestStatusReply || reply[0] != kStatusReply) {
        return false;
    }
    return reply[1] < kStatusSizeWithError ||
           (reply[2] == kAwaitingProgrammingSelection && reply[3] == kNoError);
}

// A whole status reply that does not allow programming: its status and error in words.
std::string StatusRefusal(const std::vector<uint8_t>& reply) {
    const char* meaning = ErrorMeaning(reply[3]);
    return FormatText(
               "the boot program status inquiry (0x%02X) reported status 0x%02X and error "
               "0x%02X",
               kStatusInquiry, reply[2], reply[3]) +
           (meaning != nullptr ? std::string(": ") + meaning : std::string()) +
           FormatText(", not status 0x%02X without error", kAwaitingProgrammingSelection);
}

}  // namespace

bool ModUpdate1527::EraseSquence() {
    Begin(Step::ProgrammingMode);
    if (!connected) {
        reports_->Error("ModUpdate1527::EraseSquence() - RS232C not connected?");
        return FailNotConnected();
    }
    return true;
}

bool ModUpdate1527::SetProgrammingMode() {
    Begin(Step::ProgrammingMode);
    if (!connected) {
        return FailNotConnected();
    }
    // The MCU erases before its ACK: reply-paced, the ACK ends the waits.
    const int eraseBound = options.eraseTimeoutMilliseconds;
    SendFrame(&kProgrammingTransition, 1);
    AwaitReply(std::min(kTransitionDelay, eraseBound), ReplyShape::Ack);
    WaitSendDone(kTransitionSendLimit);
    // A longer bound waits on for an erase that outlasts the delay, but no longer than it needs.
    if (received.Size() == 0 && eraseBound > kTransitionDelay) {
        AwaitFirstByte(eraseBound - kTransitionDelay);
    }
    // Something arrived within the delay: the MCU took the command and erases; give it time.
    if (received.Size() > 0) {
        for (int wait = 1; wait <= kEraseWaits; ++wait) {
            reports_->Status(("[!] Waiting for MCU erasing " +
                              std::string(static_cast<size_t>(wait), '.') + "\r")
                                 .c_str());
            if (!AwaitReply(kEraseWaitDelay, ReplyShape::Ack)) {
                break;
            }
        }
    }
    WaitSendDone(kSendLimit);
    if (ReportIfHalted("SetProgrammingMode")) {
        return false;
    }
    const std::vector<uint8_t> erased = TakeReply();
    if (erased.empty()) {
        return Fail(FailureCause::TimeBound,
                    FormatText("no ACK to the programming/erasing state transition (0x%02X) "
                               "within %d s: the erase ran past its bound",
                               kProgrammingTransition, eraseBound / 1000));
    }
    if (!StartsWith(erased, kAck)) {
        return FailUnacknowledged();
    }
    const std::vector<uint8_t> status =
        Transact(kStatusInquiry, kStatusDelay, kSlowSendLimit, ReplyShape::Inquiry);
    if (ReportIfHalted("SetProgrammingMode")) {
        return false;
    }
    if (!StatusAllowsProgramming(status)) {
        if (StartsWith(status, kStatusReply) && status.size() >= kShortestStatusReply) {
            return Fail(FailureCause::Refused, StatusRefusal(status));
        }
        return FailInquiry(kStatusReply);
    }
    const std::vector<uint8_t> selected =
        Transact(kUserMatSelection, kUserMatSelectionDelay, kSlowSendLimit, ReplyShape::Ack);
    if (ReportIfHalted("SetProgrammingMode")) {
        return false;
    }
    if (!StartsWith(selected, kAck)) {
        return FailUnacknowledged();
    }
    if (!Pause(kEnterProgrammingDelay)) {
        ReportIfHalted("SetProgrammingMode");
        return false;
    }
    programmingState = true;
    return true;
}

bool ModUpdate1527::ProgrammingSequence(SRECReader* reader) {
    Begin(Step::Programming);
    blocksAcknowledged = 0;
    endAcknowledged = false;
    if (reader == nullptr) {
        return Fail(FailureCause::NotStarted, "no image was given");
    }
    return ProgramImage(LayFirmwareImage(*reader));
}

bool ModUpdate1527::ProgramImage(const FirmwareImage& image) {
    Begin(Step::Programming);
    blocksAcknowledged = 0;
    endAcknowledged = false;
    // The programming state comes only after an OpenCom.
    if (!programmingState || !connected) {
        return Fail(FailureCause::NotStarted, "the programming state was not entered");
    }
    if (image.outcome != ImageOutcome::NoData) {
        switch (image.outcome) {
            case ImageOutcome::NoSize:
                return Fail(FailureCause::NotStarted,
                            "the image's end address does not lie above its start");
            case ImageOutcome::LargerThanUserMat:
                reports_->Error(
                    FormatText("ModUpdate1527::ProgrammingSequence() - The image needs %llu "
                               "bytes, more than the %u-byte user MAT holds !",
                               static_cast<unsigned long long>(image.requestedSize), kUserMatBytes)
                        .c_str());
                return Fail(FailureCause::ImageDoesNotFit,
                            FormatText("the image needs %llu bytes, more than the %u-byte user "
                                       "MAT holds",
                                       static_cast<unsigned long long>(image.requestedSize),
                                       kUserMatBytes));
            case ImageOutcome::RecordOutsideUserMat:
                reports_->Error(
                    FormatText("ModUpdate1527::ProgrammingSequence() - The record at 0x%08X "
                               "lies outside the %u-byte user MAT !",
                               image.recordAddress, kUserMatBytes)
                        .c_str());
                return Fail(FailureCause::ImageDoesNotFit,
                            FormatText("the record at 0x%08X lies outside the %u-byte user MAT",
                                       image.recordAddress, kUserMatBytes));
            case ImageOutcome::Built:
            case ImageOutcome::NoData:
                break;
        }
        const int blocks = static_cast<int>(image.bytes.size() / kBlockBytes);
        uint8_t frame[kBlockFrameBytes];
        for (int block = 1; block <= blocks; ++block) {
            const uint32_t address = static_cast<uint32_t>(block - 1) * kBlockBytes;
            const uint8_t* data = image.bytes.data() + address;
            FillBlockFrame(frame, address, data);
            reports_->Progress(block, blocks);
            if (IsErasedBlock(data)) {
                reports_->Status(BlockStatusText(address, true).c_str());
                continue;
            }
            reports_->Status(BlockStatusText(address, false).c_str());
            if (!ProgramBlock(frame, address)) {
                return false;
            }
            ++blocksAcknowledged;
        }
        reports_->Status("\r\n");
        reports_->Status("Finializing last MAT block ...");
        if (!EndProgramming()) {
            return false;
        }
    } else if (options.verify && !EndProgramming()) {
        // The sum check comes only after an end of programming, even with nothing programmed.
        return false;
    }
    reports_->Status(" ");
    if (!options.verify) {
        port->Close();
    }
    return true;
}

bool ModUpdate1527::ProgramBlock(const uint8_t* frame, uint32_t address) {
    std::vector<uint8_t> reply =
        Transact(frame, kBlockFrameBytes, kBlockDelay, kSendLimit, ReplyShape::Ack);
    if (ReportIfHalted("ProgrammingSequence")) {
        return false;
    }
    // The board found the frame spoilt on the line and did not program it: sending it again
    // cannot program anything twice.
    if (options.resendChecksumRefusals && IsChecksumRefusal(reply)) {
        reports_->Log(FormatText("---> the block at 0x%08X was refused for its checksum: sending "
                                 "it once more\r\n",
                                 address)
                          .c_str());
        reply = Transact(frame, kBlockFrameBytes, kBlockDelay, kSendLimit, ReplyShape::Ack);
        if (ReportIfHalted("ProgrammingSequence")) {
            return false;
        }
    }
    if (reply.empty()) {
        reports_->Log("ERROR : No response while programming !\r\n");
        return FailUnacknowledged();
    }
    if (reply[0] != kAck) {
        reports_->Error(BlockFailureText(reply).c_str());
        return FailUnacknowledged();
    }
    return true;
}

bool ModUpdate1527::EndProgramming() {
    // The documented form, which leaves the boot program waiting for the sum check, when the
    // flash is verified afterwards, and for a boot program that takes no other.
    const bool documented = options.verify || options.documentedEndFrame;
    std::vector<uint8_t> reply =
        documented ? Transact(kEndOfProgrammingAtLastAddress, sizeof kEndOfProgrammingAtLastAddress,
                              kBlockDelay, kSendLimit, ReplyShape::Ack)
                   : Transact(kEndOfProgramming, sizeof kEndOfProgramming, kBlockDelay, kSendLimit,
                              ReplyShape::Ack);
    if (documented && reply.empty() && !Interrupted()) {
        AwaitFirstByte(kLateEndAckDelay);
        reply = TakeReply();
    }
    // Without the link nothing tells whether the MCU took the end of programming.
    if (ReportIfHalted("ProgrammingSequence")) {
        return false;
    }
    endAcknowledged = StartsWith(reply, kAck);
    if (!reply.empty() && reply[0] != kAck) {
        reports_->Log(FormatText("Sending firmware failed by %d \r\n", reply[0]).c_str());
    }
    return true;
}

bool ModUpdate1527::Reboot() {
    Begin(Step::Rebooting);
    if (!connected) {
        reports_->Error("ModUpdate1527::Reboot() - RS232C not connected?");
        return FailNotConnected();
    }
    if (port->IsOpen()) {
        port->Close();
    }
    return OpenAtResetRate("Reboot", ReaderWait::Required,
                           "the port did not come back for the reboot");
}
