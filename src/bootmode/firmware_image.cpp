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
    for (uint32_t index = reader.firstIndex(); index <= reader.lastIndex(); ++index) {
        const SRecord* record = reader.GetRecord(index);
        const uint32_t bytes = record != nullptr ? FirmwareBytes(*record) : 0;
        if (bytes == 0) {
            continue;
        }
        const uint64_t last = uint64_t{record->address} + bytes - 1;
        bool inside = false;
        for (const FlashArea& area : areas) {
            inside = inside || (record->address >= area.first && last <= area.last);
        }
        if (!inside) {
            return false;
        }
    }
    return true;
}

uint32_t FlashSum(const FirmwareImage& image, uint32_t flashBytes) {
    uint32_t sum = 0;
    const size_t covered = std::min<size_t>(image.bytes.size(), flashBytes);
    for (size_t i = 0; i < covered; ++i) {
        sum += image.bytes[i];
    }
    return sum + static_cast<uint32_t>(flashBytes - covered) * kErasedByte;
}
