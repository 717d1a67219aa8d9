// The system's device-name list as COM port discovery reads it, in a Wine prefix that maps COM11
// to COM30 (tests/support/wine-prefix.sh).
#include "serial/serial_ports_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "serial/serial_ports.h"

namespace {

const size_t kNoCeiling = size_t(16) * 1024 * 1024;

std::vector<int> ComPorts(const std::vector<wchar_t>& names) {
    const std::vector<uint8_t> numbers = ComPortNumbers(names.data(), names.size());
    return std::vector<int>(numbers.begin(), numbers.end());
}

TEST(ComPortDiscoveryTest, ListThatOutgrowsTheFirstBufferIsAskedForAgain) {
    // Sixteen units hold no more than two short names: the list has to grow many times.
    std::vector<wchar_t> grown = QueryDeviceNames(16, kNoCeiling);
    std::vector<int> ports = ComPorts(grown);
    for (int number = 11; number <= 30; ++number) {
        EXPECT_NE(ports.end(), std::find(ports.begin(), ports.end(), number)) << "COM" << number;
    }
    EXPECT_EQ(ComPorts(QueryDeviceNames(65535, kNoCeiling)), ports);
}

TEST(ComPortDiscoveryTest, ListLongerThanTheCeilingReadsAsEmpty) {
    // The mapped ports alone take 120 units.
    EXPECT_TRUE(QueryDeviceNames(16, 64).empty());
}

}  // namespace
