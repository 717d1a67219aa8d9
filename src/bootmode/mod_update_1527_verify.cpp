// ModUpdate1527's proof of what was written: the user MAT's extent before anything is erased, and
// after programming its sum check, with a read-back that names the first wrong byte.
#include <cstdint>

#include "bootmode/boot_frame.h"
#include "bootmode/boot_protocol.h"
#include "bootmode/firmware_image.h"
#include "bootmode/mod_update_1527.h"
#include "bootmode/run_estimate.h"
#include "image/formatted_text.h"
#include "serial/serial_link.h"

bool ModUpdate1527::InquireUserMat(std::vector<FlashArea>& areas) {
    // The run checks the user MAT once the device is selected.
    Begin(Step::DeviceSelection);
    areas.clear();
    if (!connected) {
        return FailNotConnected();
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
        reports_->Error(
            ("ModUpdate1527::InquireUserMat() - The user MAT inquiry got " + problem + " !")
                .c_str());
        return FailInquiry(kUserMatReply);
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
        Transact(frame.data(), frame.size(),
                 kMemoryReadDelay + MemoryReadReplyMilliseconds(size, programmingBitRate),
                 kSendLimit, ReplyShape::MemoryRead);
    if (ReportIfHalted("VerifyUserMat")) {
        return false;
    }
    const std::string problem = MemoryReadProblem(reply, size);
    if (!problem.empty()) {
        reports_->Error(
            (FormatText("ModUpdate1527::VerifyUserMat() - Reading 0x%08X back got ", address) +
             problem + " !")
                .c_str());
        return FailInquiry(kMemoryRead);
    }
    data.assign(reply.begin() + 1 + kReadSizeBytes, reply.begin() + 1 + kReadSizeBytes + size);
    return true;
}

bool ModUpdate1527::SumOfUserMat(uint32_t& total) {
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
        reports_->Error(
            ("ModUpdate1527::VerifyUserMat() - The sum check got " + problem + " !").c_str());
        return FailInquiry(kSumCheckReply);
    }
    total = ReadBigEndian32(reply.data() + 2);
    return true;
}

ModUpdate1527::ReadBack ModUpdate1527::ReadBackSentBlocks(const FirmwareImage& image) {
    const std::vector<SentRun> runs = SentBlockRuns(image);
    int total = 0;
    for (const SentRun& run : runs) {
        total += static_cast<int>(run.size / kBlockBytes);
    }
    int done = 0;
    reports_->ReadBackProgress(done, total);
    for (const SentRun& run : runs) {
        std::vector<uint8_t> flash;
        if (!ReadUserMat(run.address, run.size, flash)) {
            return ReadBack::Failed;
        }
        done += static_cast<int>(run.size / kBlockBytes);
        reports_->ReadBackProgress(done, total);
        for (size_t i = 0; i < flash.size(); ++i) {
            const uint8_t expected = image.bytes[run.address + i];
            if (flash[i] != expected) {
                firstDifference =
                    ByteDifference{static_cast<uint32_t>(run.address + i), flash[i], expected};
                reports_->Log(
                    FormatText("ERROR : the first byte that differs is at 0x%08X: the flash "
                               "holds 0x%02X, the image 0x%02X.\r\n",
                               static_cast<unsigned>(run.address + i), flash[i], expected)
                        .c_str());
                Fail(FailureCause::FlashDiffers,
                     FormatText("the byte at 0x%08X reads 0x%02X, the image has 0x%02X",
                                static_cast<unsigned>(run.address + i), flash[i], expected));
                return ReadBack::Differs;
            }
        }
    }
    return ReadBack::Same;
}

bool ModUpdate1527::VerifyUserMat(const FirmwareImage& image, const std::vector<FlashArea>& areas,
                                  bool readBack) {
    Begin(Step::Programming);
    verifiedSum.reset();
    if (!connected) {
        return FailNotConnected();
    }
    const uint32_t expected = FlashSum(image, areas);
    reports_->Status("Verifying the user MAT ...");
    uint32_t total = 0;
    bool verified = SumOfUserMat(total);
    if (verified && total == expected) {
        reports_->Log(
            FormatText("---> verify : the user MAT adds up to 0x%08X, as the image does.\r\n",
                       total)
                .c_str());
        // A sum passes bytes that traded places, or a block written at another erased address.
        if (readBack) {
            reports_->Status("Reading the blocks back ...");
            verified = ReadBackSentBlocks(image) == ReadBack::Same;
            if (verified) {
                reports_->Log("---> read-back : every block sent reads back as the image.\r\n");
            }
        }
        if (verified) {
            verifiedSum = total;
        }
    } else if (verified) {
        reports_->Log(FormatText("ERROR : verify failed: the user MAT adds up to 0x%08X, the "
                                 "image to 0x%08X.\r\n",
                                 total, expected)
                          .c_str());
        // The sent blocks, read back: the first byte that differs.
        switch (ReadBackSentBlocks(image)) {
            case ReadBack::Same:
                reports_->Log(
                    "ERROR : the blocks sent read back as the image: the difference lies in the "
                    "user MAT that the image leaves erased (0xFF).\r\n");
                Fail(FailureCause::FlashDiffers,
                     "the user MAT differs from the image where the image leaves it erased");
                break;
            case ReadBack::Failed:
                // The sums differ all the same; only the first wrong byte stays unknown.
                Fail(FailureCause::FlashDiffers,
                     FormatText("the user MAT adds up to 0x%08X, the image to 0x%08X", total,
                                expected));
                break;
            case ReadBack::Differs:
                break;
        }
        verified = false;
    }
    port->Close();
    return verified;
}
