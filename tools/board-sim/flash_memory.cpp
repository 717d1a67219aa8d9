// Flash model of the simulated MCU's user MAT.
#include "flash_memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <numeric>

namespace board_sim {

namespace {

const char kOldFirmware[] = "old firmware ";

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

FlashMemory::FlashMemory(uint32_t size)
    : bytes_(size), unitProgrammed_(size / kProgrammingUnit, true) {
    const size_t patternLength = sizeof kOldFirmware - 1;
    for (size_t i = 0; i < bytes_.size(); ++i) {
        bytes_[i] = static_cast<uint8_t>(kOldFirmware[i % patternLength]);
    }
}

void FlashMemory::Erase() {
    std::fill(bytes_.begin(), bytes_.end(), kErasedByte);
    std::fill(unitProgrammed_.begin(), unitProgrammed_.end(), false);
}

ProgramResult FlashMemory::Program(uint32_t address, const uint8_t* data) {
    if (address % kProgrammingUnit != 0 || address >= Size() ||
        Size() - address < kProgrammingUnit) {
        return ProgramResult::AddressError;
    }
    const size_t unit = address / kProgrammingUnit;
    if (unitProgrammed_[unit]) {
        return ProgramResult::NotErased;
    }
    std::memcpy(&bytes_[address], data, kProgrammingUnit);
    unitProgrammed_[unit] = true;
    return ProgramResult::Programmed;
}

uint32_t FlashMemory::Total() const {
    return std::accumulate(bytes_.begin(), bytes_.end(), uint32_t{0});
}

std::vector<uint8_t> FlashMemory::Read(uint32_t address, uint32_t size) const {
    return std::vector<uint8_t>(bytes_.begin() + address, bytes_.begin() + address + size);
}

bool FlashMemory::WriteDump(const std::string& path, std::string* error) const {
    const std::string temporary = path + ".partial";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = "cannot write the flash dump " + temporary + ": " + std::strerror(errno);
        return false;
    }
    bool written = WriteAll(fd, bytes_.data(), bytes_.size());
    const int writeErrno = errno;
    if (close(fd) != 0 && written) {
        written = false;
    }
    if (!written) {
        *error = "cannot write the flash dump " + temporary + ": " + std::strerror(writeErrno);
        unlink(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = "cannot rename the flash dump to " + path + ": " + std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace board_sim
