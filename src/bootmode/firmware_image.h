// The flash image that is programmed block by block, laid out from the records of an S-record file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/user_mat.h"

class SRECReader;
struct SRecord;

// The image is sized from the reader's end address, which counts a record's address and checksum
// bytes too: up to 5 past its data (an S3 line). A file that fills the user MAT reaches this far.
constexpr uint32_t kLargestImageSize = kUserMatBytes + 5;

// The reader already refuses files with data outside the user MAT; the image keeps its own
// bounds so that nothing it lays can run past the flash, whoever filled the reader.
enum class ImageOutcome {
    Built,
    NoSize,               // the end address does not lie above the start address
    LargerThanUserMat,    // more than kLargestImageSize: nothing is allocated
    RecordOutsideUserMat  // a data record reaches past the image or the user MAT
};

struct FirmwareImage {
    ImageOutcome outcome = ImageOutcome::NoSize;
    // The size the reader's address range asks for, before rounding to whole blocks.
    uint64_t requestedSize = 0;
    // For RecordOutsideUserMat: the load address of the first such record.
    uint32_t recordAddress = 0;
    // Built: whole 128-byte blocks from address 0, 0xFF where no data record lies.
    std::vector<uint8_t> bytes;
};

// Lays every data record (S1, S2, S3) from the reader's first to its last index at its address,
// later records over earlier ones. Records of other types carry no firmware and are left out.
FirmwareImage LayFirmwareImage(const SRECReader& reader);
// The same for `count` records in file order, with the reader's start and end address: the image's
// own bounds hold whatever the records say.
FirmwareImage LayFirmwareImage(const SRecord* records, size_t count, uint32_t startAddress,
                               uint32_t endAddress);

// A 128-byte block that holds only erased bytes (0xFF): programming it would change nothing, so
// it is not sent.
bool IsErasedBlock(const uint8_t* block);

// A stretch of flash, first and last address inclusive.
struct FlashArea {
    uint32_t first;
    uint32_t last;
};

// Every data record of the reader lies within the areas; areas that adjoin count as one stretch.
bool DataLiesWithin(const SRECReader& reader, const std::vector<FlashArea>& areas);

// The total of every byte of the areas with the image programmed into them: the image's byte
// where it has one, 0xFF (erased) elsewhere.
uint32_t FlashSum(const FirmwareImage& image, const std::vector<FlashArea>& areas);

// Neighbouring blocks that are sent (not erased), as one memory read takes them back.
struct SentRun {
    uint32_t address;
    uint32_t size;  // whole blocks, at most kLargestRead bytes
};
std::vector<SentRun> SentBlockRuns(const FirmwareImage& image);
