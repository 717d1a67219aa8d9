// The flash image that is programmed block by block, laid once from a firmware file's data pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/data_piece.h"
#include "image/user_mat.h"

class SRECReader;

// An S3 line's count covers its 4 address bytes and its checksum besides its data, so an S-record
// file's end address lies up to this far past its data. The other formats' images end as far past
// theirs, as they did when they reached the image as S3 lines: their block counts stay as they
// were.
constexpr uint32_t kS3LineTailBytes = 5;
// The image is sized from such an end address: a file that fills the user MAT reaches this far.
constexpr uint32_t kLargestImageSize = kUserMatBytes + kS3LineTailBytes;

// The readers already refuse data outside the user MAT; the image keeps its own bounds so that
// nothing it lays can run past the flash, whoever made the pieces.
enum class ImageOutcome {
    Built,
    NoData,               // the file has no data record: nothing to program, nothing laid
    NoSize,               // the end address does not lie above the start address
    LargerThanUserMat,    // more than kLargestImageSize: nothing is allocated
    RecordOutsideUserMat  // a piece of data reaches past the image or the user MAT
};

// A stretch of flash, first and last address inclusive.
struct FlashArea {
    uint32_t first;
    uint32_t last;
};

struct FirmwareImage {
    ImageOutcome outcome = ImageOutcome::NoSize;
    // The size the end address asks for, before rounding to whole blocks.
    uint64_t requestedSize = 0;
    // For RecordOutsideUserMat: the load address of the first such piece.
    uint32_t recordAddress = 0;
    // Built: whole 128-byte blocks from address 0, 0xFF where no data lies.
    std::vector<uint8_t> bytes;
    // Built: where the data lies, in address order, pieces that touch or overlap as one stretch.
    std::vector<FlashArea> data;
};

// Lays the pieces at their addresses, later ones over earlier ones, into an image of
// endAddress - startAddress bytes raised to whole blocks. Empty pieces are left out.
FirmwareImage LayFirmwareImage(const std::vector<DataPiece>& pieces, uint32_t startAddress,
                               uint32_t endAddress);
// An S-record file's image: its data records (S1, S2, S3) sized from the reader's start and end
// address, which count every record's address and checksum bytes; NoData when the reader's data
// byte count is 0. Records of other types carry no firmware and are left out.
FirmwareImage LayFirmwareImage(const SRECReader& reader);
// The image of pieces read from another format, sized up to kS3LineTailBytes past their last
// byte; NoData without a byte of data.
FirmwareImage LayFirmwareImage(const std::vector<DataPiece>& pieces);

// A copy of a built image with `bytes` laid at `address` over it, grown to whole blocks when they
// reach past its end; they must lie within the user MAT. One board's own bytes (its serial number)
// in the image that every board shares.
FirmwareImage WithBytesAt(const FirmwareImage& image, uint32_t address,
                          const std::vector<uint8_t>& bytes);

// A 128-byte block that holds only erased bytes (0xFF): programming it would change nothing, so
// it is not sent.
bool IsErasedBlock(const uint8_t* block);

// Every byte of the image's data lies within the areas; areas that adjoin count as one stretch.
bool DataLiesWithin(const FirmwareImage& image, const std::vector<FlashArea>& areas);

// The total of every byte of the areas with the image programmed into them: the image's byte
// where it has one, 0xFF (erased) elsewhere.
uint32_t FlashSum(const FirmwareImage& image, const std::vector<FlashArea>& areas);

// Neighbouring blocks that are sent (not erased), as one memory read takes them back.
struct SentRun {
    uint32_t address;
    uint32_t size;  // whole blocks, at most kLargestRead bytes
};
std::vector<SentRun> SentBlockRuns(const FirmwareImage& image);
