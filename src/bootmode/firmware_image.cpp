// Laying S-record data into a bounded flash image, refusing what the device cannot hold.
#include "bootmode/firmware_image.h"

#include <algorithm>
#include <cstring>

#include "bootmode/boot_frame.h"
#include "image/srec_reader.h"

namespace {

const uint8_t kErasedByte = 0xFF;

// Only S1, S2 and S3 records carry firmware; the others would land at address 0.
uint32_t FirmwareBytes(const SRecord& record) {
    return IsDataRecord(record) ? static_cast<uint32_t>(DataByteCount(record)) : 0;
}

}  // namespace

FirmwareImage LayFirmwareImage(const SRECReader& reader) {
    const uint32_t first = reader.firstIndex();
    const uint32_t last = reader.lastIndex();
    const SRecord* records = reader.GetRecord(first);
    const size_t count = records != nullptr && last >= first ? last - first + 1 : 0;
    return LayFirmwareImage(records, count, reader.startAddress(), reader.endAddress());
}

FirmwareImage LayFirmwareImage(const SRecord* records, size_t count, uint32_t startAddress,
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
    // Every record is checked before anything is allocated or copied.
    for (size_t i = 0; i < count; ++i) {
        const SRecord& record = records[i];
        if (FirmwareBytes(record) > 0 && uint64_t{record.address} + FirmwareBytes(record) > limit) {
            image.outcome = ImageOutcome::RecordOutsideUserMat;
            image.recordAddress = record.address;
            return image;
        }
    }
    image.bytes.assign(static_cast<size_t>(size), kErasedByte);
    for (size_t i = 0; i < count; ++i) {
        const SRecord& record = records[i];
        if (FirmwareBytes(record) > 0) {
            std::memcpy(image.bytes.data() + record.address, record.data, FirmwareBytes(record));
        }
    }
    image.outcome = ImageOutcome::Built;
    return image;
}

bool IsErasedBlock(const uint8_t* block) {
    for (size_t i = 0; i < kBlockBytes; ++i) {
        if (block[i] != kErasedByte) {
            return false;
        }
    }
    return true;
}

bool DataLiesWithin(const SRECReader& reader, const std::vector<FlashArea>& areas) {
    // The stretches the areas make together, neighbours joined.
    std::vector<FlashArea> sorted = areas;
    std::sort(sorted.begin(), sorted.end(),
              [](const FlashArea& a, const FlashArea& b) { return a.first < b.first; });
    std::vector<FlashArea> stretches;
    for (const FlashArea& area : sorted) {
        if (!stretches.empty() && uint64_t{area.first} <= uint64_t{stretches.back().last} + 1) {
            stretches.back().last = std::max(stretches.back().last, area.last);
        } else {
            stretches.push_back(area);
        }
    }
    for (uint32_t index = reader.firstIndex(); index <= reader.lastIndex(); ++index) {
        const SRecord* record = reader.GetRecord(index);
        const uint32_t bytes = record != nullptr ? FirmwareBytes(*record) : 0;
        if (bytes == 0) {
            continue;
        }
        const uint64_t last = uint64_t{record->address} + bytes - 1;
        bool inside = false;
        for (const FlashArea& stretch : stretches) {
            inside = inside || (record->address >= stretch.first && last <= stretch.last);
        }
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
