// Laying data pieces into a bounded flash image, refusing what the device cannot hold.
#include "bootmode/firmware_image.h"

#include <algorithm>

#include "bootmode/boot_frame.h"
#include "image/srec_reader.h"

namespace {

const uint8_t kErasedByte = 0xFF;

// The areas sorted, with neighbours and overlaps joined.
std::vector<FlashArea> Stretches(std::vector<FlashArea> areas) {
    std::sort(areas.begin(), areas.end(),
              [](const FlashArea& a, const FlashArea& b) { return a.first < b.first; });
    std::vector<FlashArea> stretches;
    for (const FlashArea& area : areas) {
        if (!stretches.empty() && uint64_t{area.first} <= uint64_t{stretches.back().last} + 1) {
            stretches.back().last = std::max(stretches.back().last, area.last);
        } else {
            stretches.push_back(area);
        }
    }
    return stretches;
}

}  // namespace

FirmwareImage LayFirmwareImage(const std::vector<DataPiece>& pieces, uint32_t startAddress,
                               uint32_t endAddress) {
    FirmwareImage image;
    if (endAddress <= startAddress) {
        return image;
    }
    image.requestedSize = endAddress - startAddress;
    if (image.requestedSize > kLargestImageSize) {
        image.outcome = ImageOutcome::LargerThanUserMat;
        return image;
    }
    const uint64_t size = (image.requestedSize + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
    const uint64_t limit = std::min<uint64_t>(size, kUserMatBytes);
    // Every piece is checked before anything is allocated or copied.
    for (const DataPiece& piece : pieces) {
        if (!piece.bytes.empty() && uint64_t{piece.address} + piece.bytes.size() > limit) {
            image.outcome = ImageOutcome::RecordOutsideUserMat;
            image.recordAddress = piece.address;
            return image;
        }
    }
    image.bytes.assign(static_cast<size_t>(size), kErasedByte);
    std::vector<FlashArea> data;
    for (const DataPiece& piece : pieces) {
        if (!piece.bytes.empty()) {
            std::copy(piece.bytes.begin(), piece.bytes.end(), image.bytes.begin() + piece.address);
            data.push_back(
                {piece.address, piece.address + static_cast<uint32_t>(piece.bytes.size()) - 1});
        }
    }
    image.data = Stretches(std::move(data));
    image.outcome = ImageOutcome::Built;
    return image;
}

FirmwareImage WithBytesAt(const FirmwareImage& image, uint32_t address,
                          const std::vector<uint8_t>& bytes) {
    FirmwareImage copy = image;
    if (bytes.empty()) {
        return copy;
    }
    const uint64_t end = uint64_t{address} + bytes.size();
    if (copy.bytes.size() < end) {
        copy.bytes.resize(static_cast<size_t>((end + kBlockBytes - 1) / kBlockBytes * kBlockBytes),
                          kErasedByte);
        copy.requestedSize = std::max<uint64_t>(copy.requestedSize, end);
    }
    std::copy(bytes.begin(), bytes.end(), copy.bytes.begin() + address);
    copy.data.push_back({address, static_cast<uint32_t>(end - 1)});
    copy.data = Stretches(std::move(copy.data));
    return copy;
}

FirmwareImage LayFirmwareImage(const SRECReader& reader) {
    if (reader.GetDataByteCount() == 0) {
        FirmwareImage image;
        image.outcome = ImageOutcome::NoData;
        return image;
    }
    return LayFirmwareImage(reader.DataPieces(), reader.startAddress(), reader.endAddress());
}

FirmwareImage LayFirmwareImage(const std::vector<DataPiece>& pieces) {
    uint64_t end = 0;
    for (const DataPiece& piece : pieces) {
        if (!piece.bytes.empty()) {
            end = std::max<uint64_t>(end, uint64_t{piece.address} + piece.bytes.size());
        }
    }
    if (end == 0) {
        FirmwareImage image;
        image.outcome = ImageOutcome::NoData;
        return image;
    }
    // Beyond 32 bits the end only has to stay too large for the user MAT.
    const uint64_t endAddress = std::min<uint64_t>(end + kS3LineTailBytes, UINT32_MAX);
    return LayFirmwareImage(pieces, 0, static_cast<uint32_t>(endAddress));
}

bool IsErasedBlock(const uint8_t* block) {
    for (size_t i = 0; i < kBlockBytes; ++i) {
        if (block[i] != kErasedByte) {
            return false;
        }
    }
    return true;
}

bool DataLiesWithin(const FirmwareImage& image, const std::vector<FlashArea>& areas) {
    // Each stretch of data is contiguous, so it fits only inside one stretch of the areas.
    const std::vector<FlashArea> stretches = Stretches(areas);
    for (const FlashArea& data : image.data) {
        const bool inside =
            std::any_of(stretches.begin(), stretches.end(), [&data](const FlashArea& stretch) {
                return data.first >= stretch.first && data.last <= stretch.last;
            });
        if (!inside) {
            return false;
        }
    }
    return true;
}

uint32_t FlashSum(const FirmwareImage& image, const std::vector<FlashArea>& areas) {
    uint32_t sum = 0;
    for (const FlashArea& area : areas) {
        const uint64_t end = uint64_t{area.last} + 1;
        const uint64_t covered = std::min<uint64_t>(end, image.bytes.size());
        for (uint64_t address = area.first; address < covered; ++address) {
            sum += image.bytes[static_cast<size_t>(address)];
        }
        const uint64_t erased = end - std::max<uint64_t>(covered, area.first);
        sum += static_cast<uint32_t>(erased * kErasedByte);
    }
    return sum;
}

std::vector<SentRun> SentBlockRuns(const FirmwareImage& image) {
    std::vector<SentRun> runs;
    const size_t blocks = image.bytes.size() / kBlockBytes;
    for (size_t block = 0; block < blocks; ++block) {
        if (IsErasedBlock(image.bytes.data() + block * kBlockBytes)) {
            continue;
        }
        const uint32_t address = static_cast<uint32_t>(block * kBlockBytes);
        if (!runs.empty() && runs.back().address + runs.back().size == address &&
            runs.back().size + kBlockBytes <= kLargestRead) {
            runs.back().size += kBlockBytes;
        } else {
            runs.push_back({address, static_cast<uint32_t>(kBlockBytes)});
        }
    }
    return runs;
}
