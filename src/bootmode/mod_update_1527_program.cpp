// ModUpdate1527 from the programming state to the rebooted board: erase, block programming,
// end of programming and reboot.
#include <cstdint>

#include "bootmode/block_reports.h"
#include "bootmode/boot_frame.h"
#include "bootmode/boot_protocol.h"
#include "bootmode/firmware_image.h"
#include "bootmode/mod_update_1527.h"
#include "bootmode/report_text.h"
#include "serial/serial_link.h"

namespace {

bool StatusAllowsProgramming(const std::vector<uint8_t>& reply) {
    if (reply.size() < kShortestStatusReply || reply[0] != kStatusReply) {
        return false;
    }
    return reply[1] < kStatusSizeWithError ||
           (reply[2] == kAwaitingProgrammingSelection && reply[3] == kNoError);
}

}  // namespace

bool ModUpdate1527::EraseSquence() {
    if (!connected) {
        Report(errorCallback, "ModUpdate1527::EraseSquence() - RS232C not connected?");
        return false;
    }
    return true;
}

bool ModUpdate1527::SetProgrammingMode() {
    if (!connected) {
        return false;
    }
    // The MCU erases before its ACK: reply-paced, the ACK ends the waits.
    SendFrame(&kProgrammingTransition, 1);
    AwaitReply(kTransitionDelay, ReplyShape::Ack);
    WaitSendDone(kTransitionSendLimit);
    // Something arrived within the delay: the MCU took the command and erases; give it time.
    if (received.Size() > 0) {
        for (int wait = 1; wait <= kEraseWaits; ++wait) {
            Report(statusCallback, "[!] Waiting for MCU erasing " +
                                       std::string(static_cast<size_t>(wait), '.') + "\r");
            if (!AwaitReply(kEraseWaitDelay, ReplyShape::Ack)) {
                break;
            }
        }
    }
    WaitSendDone(kSendLimit);
    if (ReportIfHalted("SetProgrammingMode") || !StartsWith(TakeReply(), kAck)) {
        return false;
    }
    const std::vector<uint8_t> status =
        Transact(kStatusInquiry, kStatusDelay, kSlowSendLimit, ReplyShape::Inquiry);
    if (ReportIfHalted("SetProgrammingMode") || !StatusAllowsProgramming(status)) {
        return false;
    }
    const std::vector<uint8_t> selected =
        Transact(kUserMatSelection, kUserMatSelectionDelay, kSlowSendLimit, ReplyShape::Ack);
    if (ReportIfHalted("SetProgrammingMode") || !StartsWith(selected, kAck)) {
        return false;
    }
    if (!Pause(kEnterProgrammingDelay)) {
        ReportIfHalted("SetProgrammingMode");
        return false;
    }
    programmingState = true;
    return true;
}

bool ModUpdate1527::ProgrammingSequence(SRECReader* reader) {
    if (reader == nullptr) {
        blocksAcknowledged = 0;
        endAcknowledged = false;
        return false;
    }
    return ProgramImage(LayFirmwareImage(*reader));
}

bool ModUpdate1527::ProgramImage(const FirmwareImage& image) {
    blocksAcknowledged = 0;
    endAcknowledged = false;
    if (!programmingState || !connected) {
        return false;
    }
    if (image.outcome != ImageOutcome::NoData) {
        switch (image.outcome) {
            case ImageOutcome::NoSize:
                return false;
            case ImageOutcome::LargerThanUserMat:
                Report(errorCallback,
                       FormatText("ModUpdate1527::ProgrammingSequence() - The image needs %llu "
                                  "bytes, more than the %u-byte user MAT holds !",
                                  static_cast<unsigned long long>(image.requestedSize),
                                  kUserMatBytes));
                return false;
            case ImageOutcome::RecordOutsideUserMat:
                Report(errorCallback,
                       FormatText("ModUpdate1527::ProgrammingSequence() - The record at 0x%08X "
                                  "lies outside the %u-byte user MAT !",
                                  image.recordAddress, kUserMatBytes));
                return false;
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
            if (progressCallback) {
                progressCallback(block, blocks);
            }
            if (IsErasedBlock(data)) {
                Report(statusCallback, BlockStatusText(address, true));
                continue;
            }
            Report(statusCallback, BlockStatusText(address, false));
            const std::vector<uint8_t> reply =
                Transact(frame, sizeof frame, kBlockDelay, kSendLimit, ReplyShape::Ack);
            if (ReportIfHalted("ProgrammingSequence")) {
                return false;
            }
            if (reply.empty()) {
                Report(logCallback, "ERROR : No response while programming !\r\n");
                return false;
            }
            if (reply[0] != kAck) {
                Report(errorCallback, BlockFailureText(reply));
                return false;
            }
            ++blocksAcknowledged;
        }
        Report(statusCallback, "\r\n");
        Report(statusCallback, "Finializing last MAT block ...");
        if (!EndProgramming()) {
            return false;
        }
    } else if (options.verify && !EndProgramming()) {
        // The sum check comes only after an end of programming, even with nothing programmed.
        return false;
    }
    Report(statusCallback, " ");
    if (!options.verify) {
        port->Close();
    }
    return true;
}

bool ModUpdate1527::EndProgramming() {
    // The documented form, which leaves the boot program waiting for the sum check, when the
    // flash is verified afterwards.
    const std::vector<uint8_t> reply =
        options.verify
            ? Transact(kEndOfProgrammingAtLastAddress, sizeof kEndOfProgrammingAtLastAddress,
                       kBlockDelay, kSendLimit, ReplyShape::Ack)
            : Transact(kEndOfProgramming, sizeof kEndOfProgramming, kBlockDelay, kSendLimit,
                       ReplyShape::Ack);
    // Without the link nothing tells whether the MCU took the end of programming.
    if (ReportIfHalted("ProgrammingSequence")) {
        return false;
    }
    endAcknowledged = StartsWith(reply, kAck);
    if (!reply.empty() && reply[0] != kAck) {
        Report(logCallback, FormatText("Sending firmware failed by %d \r\n", reply[0]));
    }
    return true;
}

bool ModUpdate1527::Reboot() {
    if (!connected) {
        Report(errorCallback, "ModUpdate1527::Reboot() - RS232C not connected?");
        return false;
    }
    if (port->IsOpen()) {
        port->Close();
    }
    if (OpenPort(kResetBitRate) != RS232COpenResult::PortOpened) {
        Report(errorCallback, "ModUpdate1527::Reboot() - On Error while open COM port !");
        return false;
    }
    if (!WaitPortReady(kReadyPolls)) {
        ReportIfHalted("Reboot");
        return false;
    }
    port->Close();
    return true;
}
