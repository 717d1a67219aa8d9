// The MCU's user MAT: erase, 128-byte programming, read-back, and a dump file of its content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace board_sim {

// The H8SX/1520R's user MAT: 512 Kbytes of flash from address H'000000 to H'07FFFF. A board can
// be given another size, as other members of the family have.
constexpr uint32_t kUserMatSize = 512 * 1024;
// The boot program programs whole 128-byte units, aligned to 128.
constexpr uint32_t kProgrammingUnit = 128;
constexpr uint8_t kErasedByte = 0xFF;

enum class ProgramResult { Programmed, AddressError, NotErased };

class FlashMemory {
public:
    // `size` bytes from address 0, a multiple of the unit, holding the board's old firmware: a
    // recognisable text pattern, and no unit erased.
    explicit FlashMemory(uint32_t size);

    uint32_t Size() const { return static_cast<uint32_t>(bytes_.size()); }

    void Erase();
    // A unit can be programmed once after each erase, as real flash can.
    ProgramResult Program(uint32_t address, const uint8_t* data);
    // Every byte of the user MAT added up, as the boot program's sum check does.
    uint32_t Total() const;
    // `size` bytes from `address`; the range must lie inside the user MAT.
    std::vector<uint8_t> Read(uint32_t address, uint32_t size) const;
    // Replaces the file in one step (temporary file, then rename) so a reader never sees half.
    bool WriteDump(const std::string& path, std::string* error) const;

private:
    std::vector<uint8_t> bytes_;
    std::vector<bool> unitProgrammed_;
};

}  // namespace board_sim
