// ModUpdate1527's proof of what was written: the user MAT's extent before anything is erased, and
// after programming its sum check, with a read-back that names the first wrong byte.
#include <cstdint>

#include "bootmode/boot_frame.h"
#include "bootmode/boot_protocol.h"
#include "bootmode/firmware_image.h"
#include "bootmode/mod_update_1527.h"
#include "bootmode/report_text.h"
#include "image/srec_reader.h"
#include "image/user_mat.h"
#include "serial/rs232c_port.h"

namespace {

// The memory read's reply takes this long on the wire at the programming rate: code, size, data,
// SUM.
int ReadReplyMilliseconds(uint32_t size) {
    const uint64_t bits = (1 + kReadSizeBytes + uint64_t{size} + 1) * kBitsPerByte;
    return static_cast<int>((bits * 1000 + kProgrammingBitRate - 1) / kProgrammingBitRate);
}

}  // namespace

bool ModUpdate1527::InquireUserMat(std::vector<FlashArea>& areas) {
    areas.clear();
    if (!port) {
        return false;
    }
    const std::vector<uint8_t> reply =
        Transact(kUserMatInquiry, kUserMatInquiryDelay, kSendLimit, ReplyShape::Inquiry);
    if (ReportIfHalted("InquireUserMat")) {
        return false;
    }
    std::string problem = InquiryReplyProblem(reply, kUserMatReply);
    // Size, number of areas, then first and last address of each.
    if (problem.empty() && (reply[1] < 1 || reply[1] != 1 + reply[2] * kUserMatAreaBytes)) {
        problem = "a size byte that does not match its number of areas";
    }
    if (!problem.empty()) {
        Report(errorCallback,
               "ModUpdate1527::InquireUserMat() - The user MAT inquiry got " + problem + " !");
        return false;
    }
    for (size_t area = 0; area < reply[2]; ++area) {
        const uint8_t* addresses = reply.data() + 3 + area * kUserMatAreaBytes;
        areas.push_back({ReadBigEndian32(addresses), ReadBigEndian32(addresses + 4)});
    }
    return true;
}

bool ModUpdate1527::ReadUserMat(uint32_t address, uint32_t size, std::vector<uint8_t>& data) {
    uint8_t parameters[kMemoryReadSize] = {kUserMatArea};
    WriteBigEndian32(address, parameters + 1);
    WriteBigEndian32(size, parameters + 5);
    const std::vector<uint8_t> frame = CommandFrame(kMemoryRead, parameters, sizeof parameters);
    const std::vector<uint8_t> reply =
        Transact(frame.data(), frame.size(), kMemoryReadDelay + ReadReplyMilliseconds(size),
                 kSendLimit, ReplyShape::MemoryRead);
    if (ReportIfHalted("VerifyUserMat")) {
        return false;
    }
    const std::string problem = MemoryReadProblem(reply, size);
    if (!problem.empty()) {
        Report(errorCallback,
               FormatText("ModUpdate1527::VerifyUserMat() - Reading 0x%08X back got ", address) +
                   problem + " !");
        return false;
    }
    data.assign(reply.begin() + 1 + kReadSizeBytes, reply.begin() + 1 + kReadSizeBytes + size);
    return true;
}

bool ModUpdate1527::VerifyUserMat(SRECReader* reader) {
    if (reader == nullptr || !port) {
        return false;
    }
    const FirmwareImage image =
        reader->GetDataByteCount() != 0 ? LayFirmwareImage(*reader) : FirmwareImage();
    const uint32_t expected = FlashSum(image, kUserMatBytes);
    Report(statusCallback, "Verifying the user MAT ...");
    const std::vector<uint8_t> reply =
        Transact(kSumCheck, kSumCheckDelay, kSendLimit, ReplyShape::Inquiry);
    if (ReportIfHalted("VerifyUserMat")) {
        return false;
    }
    std::string problem = InquiryReplyProblem(reply, kSumCheckReply);
    if (problem.empty() && reply[1] != kSumCheckSize) {
        problem = "a size byte other than 4";
    }
    if (!problem.empty()) {
        Report(errorCallback,
               "ModUpdate1527::VerifyUserMat() - The sum check got " + problem + " !");
        port->Close();
        return false;
    }
    const uint32_t total = ReadBigEndian32(reply.data() + 2);
    if (total == expected) {
        Report(logCallback,
               FormatText("---> verify : the user MAT adds up to 0x%08X, as the image does.\r\n",
                          total));
        port->Close();
        return true;
    }
    Report(logCallback, FormatText("ERROR : verify failed: the user MAT adds up to 0x%08X, the "
                                   "image to 0x%08X.\r\n",
                                   total, expected));
    // The sent blocks, read back in runs of neighbours: the first byte that differs.
    const size_t blocks = image.bytes.size() / kBlockBytes;
    for (size_t block = 0; block < blocks;) {
        if (IsErasedBlock(image.bytes.data() + block * kBlockBytes)) {
            ++block;
            continue;
        }
        size_t end = block + 1;
        while (end < blocks && (end - block) * kBlockBytes < kLargestRead &&
               !IsErasedBlock(image.bytes.data() + end * kBlockBytes)) {
            ++end;
        }
        const uint32_t address = static_cast<uint32_t>(block * kBlockBytes);
        std::vector<uint8_t> flash;
        if (!ReadUserMat(address, static_cast<uint32_t>((end - block) * kBlockBytes), flash)) {
            port->Close();
            return false;
        }
        for (size_t i = 0; i < flash.size(); ++i) {
            if (flash[i] != image.bytes[address + i]) {
                Report(logCallback,
                       FormatText("ERROR : the first byte that differs is at 0x%08X: the flash "
                                  "holds 0x%02X, the image 0x%02X.\r\n",
                                  static_cast<unsigned>(address + i), flash[i],
                                  image.bytes[address + i]));
                port->Close();
                return false;
            }
        }
        block = end;
    }
    Report(logCallback,
           "ERROR : the blocks sent read back as the image: the difference lies where it leaves "
           "the flash erased (0xFF).\r\n");
    port->Close();
    return false;
}
