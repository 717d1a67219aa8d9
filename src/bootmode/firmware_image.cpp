// Laying S-record data into a bounded flash image, refusing what the device cannot hold.
#include "bootmode/firmware_image.h"

#include <algorithm>
#include <cstring>

#include "bootmode/boot_frame.h"
#include "image/srec_reader.h"

namespace {

const uint8_t kErasedByte = 0xFF;

// The data bytes of an S1, S2 or S3 record: its count less the address and checksum bytes, and
// never more than the record holds. 0 for records of other types.
uint32_t DataLength(const SRecord& record) {
    int overhead = 0;
    switch (record.type) {
        case 1:
            overhead = 3;
            break;
        case 2:
            overhead = 4;
            break;
        case 3:
            overhead = 5;
            break;
        default:
            return 0;
    }
    const int length = std::min(record.count - overhead, static_cast<int>(sizeof(record.data)));
    return length > 0 ? static_cast<uint32_t>(length) : 0;
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
        if (record != nullptr && DataLength(*record) > 0 &&
            uint64_t{record->address} + DataLength(*record) > limit) {
            image.outcome = ImageOutcome::RecordOutsideUserMat;
            image.recordAddress = record->address;
            return image;
        }
    }
    image.bytes.assign(static_cast<size_t>(size), kErasedByte);
    for (uint32_t index = reader.firstIndex(); index <= reader.lastIndex(); ++index) {
        const SRecord* record = reader.GetRecord(index);
        if (record != nullptr && DataLength(*record) > 0) {
            std::memcpy(image.bytes.data() + record->address, record->data, DataLength(*record));
        }
    }
    image.outcome = ImageOutcome::Built;
    return image;
}
