// ModUpdate1527 from the programming state to the rebooted board: erase, block programming,
// end of programming and reboot.
#include <cstdint>

#include "bootmode/block_reports.h"
#include "bootmode/boot_frame.h"
#include "bootmode/firmware_image.h"
#include "bootmode/mod_update_1527.h"
#include "bootmode/receive_buffer.h"
#include "bootmode/report_text.h"
#include "bootmode/transaction.h"
#include "image/srec_reader.h"
#include "serial/rs232c_port.h"

namespace {

const uint8_t kProgrammingTransition = 0x40;
const uint8_t kStatusInquiry = 0x4F;
const uint8_t kStatusReply = 0x5F;
// Reply code, size, status, error and SUM.
const size_t kShortestStatusReply = 5;
// With a size of 2 or more the reply carries status and error, which must say: waiting for the
// programming selection, no error.
const uint8_t kStatusSizeWithError = 2;
const uint8_t kAwaitingProgrammingSelection = 0x3F;
const uint8_t kNoError = 0x00;
const uint8_t kUserMatSelection = 0x43;
const uint8_t kEndOfProgramming[] = {0x50, 0xB0};

// Fixed delays, in milliseconds, and the send-wait limits that go with them.
const int kTransitionDelay = 3000;  // the MCU starts erasing its user MAT
const int kTransitionSendLimit = 3000;
const int kEraseWaits = 5;  // one-second waits while the erase goes on
const int kEraseWaitDelay = 1000;
const int kEraseSendLimit = 1000;
const int kStatusDelay = 2000;
const int kSelectionDelay = 2000;
const int kSlowSendLimit = 15000;
const int kEnterProgrammingDelay = 10;
const int kBlockDelay = 200;  // the MCU programs one 128-byte unit
const int kBlockSendLimit = 1000;

bool StatusAllowsProgramming(const std::vector<uint8_t>& reply) {
    if (reply.size() < kShortestStatusReply || reply[0] != kStatusReply) {
        return false;
    }
    return reply[1] < kStatusSizeWithError ||
           (reply[2] == kAwaitingProgrammingSelection && reply[3] == kNoError);
}

bool IsBlank(const uint8_t* block) {
    for (size_t i = 0; i < kBlockBytes; ++i) {
        if (block[i] != 0xFF) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ModUpdate1527::EraseSquence() {
    if (!port) {
        Report(errorCallback, "ModUpdate1527::EraseSquence() - RS232C not connected?");
        return false;
    }
    return true;
}

bool ModUpdate1527::SetProgrammingMode() {
    if (!port) {
        return false;
    }
    SendFrame(*port, &kProgrammingTransition, 1);
    Pause(kTransitionDelay);
    WaitSendDone(kTransitionSendLimit);
    // Something arrived within the delay: the MCU took the command and erases; give it time.
    if (g_receiveBuffer.Size() > 0) {
        for (int wait = 1; wait <= kEraseWaits; ++wait) {
            Report(statusCallback, "[!] Waiting for MCU erasing " +
                                       std::string(static_cast<size_t>(wait), '.') + "\r");
            if (!Pause(kEraseWaitDelay)) {
                break;
            }
        }
    }
    WaitSendDone(kEraseSendLimit);
    if (ReportIfLost("SetProgrammingMode") || !StartsWith(g_receiveBuffer.Snapshot(), kAck)) {
        return false;
    }
    const std::vector<uint8_t> status =
        Transact(*this, *port, kStatusInquiry, kStatusDelay, kSlowSendLimit);
    if (ReportIfLost("SetProgrammingMode") || !StatusAllowsProgramming(status)) {
        return false;
    }
    const std::vector<uint8_t> selected =
        Transact(*this, *port, kUserMatSelection, kSelectionDelay, kSlowSendLimit);
    if (ReportIfLost("SetProgrammingMode") || !StartsWith(selected, kAck)) {
        return false;
    }
    if (!Pause(kEnterProgrammingDelay)) {
        ReportIfLost("SetProgrammingMode");
        return false;
    }
    programmingState = true;
    return true;
}

bool ModUpdate1527::ProgrammingSequence(SRECReader* reader) {
    if (reader == nullptr || !programmingState || !port) {
        return false;
    }
    if (reader->GetDataByteCount() != 0) {
        const FirmwareImage image = LayFirmwareImage(*reader);
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
                break;
        }
        const int blocks = static_cast<int>(image.bytes.size() / kBlockBytes);
        uint8_t frame[kBlockFrameBytes];
        for (int block = 1; block <= blocks; ++block) {
            const uint32_t address = static_cast<uint32_t>(block - 1) * kBlockBytes;
            const uint8_t* data = image.bytes.data() + address;
            FillBlockFrame(frame, address, data);
            if (progressCallback != nullptr) {
                progressCallback(block, blocks);
            }
            if (IsBlank(data)) {
                Report(statusCallback, BlockStatusText(address, true));
                continue;
            }
            Report(statusCallback, BlockStatusText(address, false));
            const std::vector<uint8_t> reply =
                Transact(*this, *port, frame, sizeof frame, kBlockDelay, kBlockSendLimit);
            if (ReportIfLost("ProgrammingSequence")) {
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
        }
        Report(statusCallback, "\r\n");
        Report(statusCallback, "Finializing last MAT block ...");
        const std::vector<uint8_t> reply =
            Transact(*this, *port, kEndOfProgramming, sizeof kEndOfProgramming, kBlockDelay,
                     kBlockSendLimit);
        // Without the link nothing tells whether the MCU took the end of programming.
        if (ReportIfLost("ProgrammingSequence")) {
            return false;
        }
        if (!reply.empty() && reply[0] != kAck) {
            Report(logCallback, FormatText("Sending firmware failed by %d \r\n", reply[0]));
        }
    }
    Report(statusCallback, " ");
    port->Close();
    return true;
}

bool ModUpdate1527::Reboot() {
    if (!port) {
        Report(errorCallback, "ModUpdate1527::Reboot() - RS232C not connected?");
        return false;
    }
    if (port->IsOpen()) {
        port->Close();
    }
    if (OpenPort(kResetBitRate) != PortOpened) {
        Report(errorCallback, "ModUpdate1527::Reboot() - On Error while open COM port !");
        return false;
    }
    if (!WaitPortReady(kReadyPolls)) {
        ReportIfLost("Reboot");
        return false;
    }
    port->Close();
    return true;
}
