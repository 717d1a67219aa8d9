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
    FirmwareImage image;
    if (reader.endAddress() <= reader.startAddress()) {
        return image;
    }
    image.requestedSize = reader.endAddress() - reader.startAddress();
    if (image.requestedSize > kLargestImageSize) {
        image.outcome = ImageOutcome::LargerThanUserMat;
        return image;
    }
    const uint64_t size = (image.requestedSize + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
    const uint64_t limit = std::min<uint64_t>(size, kUserMatBytes);
    // Every record is checked before anything is allocated or copied.
    for (uint32_t index = reader.firstIndex(); index <= reader.lastIndex(); ++index) {
        const SRecord* record = reader.GetRecord(index);
        if (record != nullptr && FirmwareBytes(*record) > 0 &&
            uint64_t{record->address} + FirmwareBytes(*record) > limit) {
            image.outcome = ImageOutcome::RecordOutsideUserMat;
            image.recordAddress = record->address;
            return image;
        }
    }
    image.bytes.assign(static_cast<size_t>(size), kErasedByte);
    for (uint32_t index = reader.firstIndex(); index <= reader.lastIndex(); ++index) {
        const SRecord* record = reader.GetRecord(index);
        if (record != nullptr && FirmwareBytes(*record) > 0) {
            std::memcpy(image.bytes.data() + record->address, record->data, FirmwareBytes(*record));
        }
    }
    image.outcome = ImageOutcome::Built;
    return image;
}
