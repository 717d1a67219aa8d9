// SRECReader under an address-space limit: running out of memory is a failed parse, not a crash.
#include "image/srec_reader.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Virtual size of this process in bytes, from /proc; 0 when it cannot be read.
rlim_t CurrentAddressSpace() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr) {
        return 0;
    }
    unsigned long pages = 0;
    const int read = std::fscanf(statm, "%lu", &pages);
    std::fclose(statm);
    return read == 1 ? static_cast<rlim_t>(pages) * 4096 : 0;
}

// Runs in the death test's child: a text of nothing but line breaks makes a diagnostic of some
// 45 bytes for each of its bytes, far more than the limit leaves.
[[noreturn]] void ParseBlankLinesUnderALimit() {
    const std::string text(16 * 1024 * 1024, '\n');
    const rlim_t used = CurrentAddressSpace();
    if (used == 0) {
        std::_Exit(2);
    }
    const rlimit limit = {used + 128 * 1024 * 1024, used + 128 * 1024 * 1024};
    if (setrlimit(RLIMIT_AS, &limit) != 0) {
        std::_Exit(3);
    }
    SRECReader reader;
    const std::string earlier = "S1070100AABBCCDDE9\n";
    if (!reader.Parse(earlier.data(), static_cast<int>(earlier.size()))) {
        std::_Exit(4);
    }
    const bool parsed = reader.Parse(text.data(), static_cast<int>(text.size()));
    const bool kept =
        reader.GetRecordCount() == 1 &&
        std::string(reader.GetMessages()) == "Line 1 is not enought to read as SRECORD = 0" &&
        reader.GetRefusal()[0] == '\0';
    std::_Exit(!parsed && kept ? 0 : 1);
}

TEST(SRECReaderMemoryTest, RunningOutOfMemoryFailsTheParseAndKeepsWhatWasRead) {
    EXPECT_EXIT(ParseBlankLinesUnderALimit(), testing::ExitedWithCode(0), "");
}

}  // namespace
