// The COM port walk over a device-name list: order, filters and the 8-bit limits.
#include "serial/serial_ports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Builds a device-name list: every name zero-terminated, then an empty name.
std::wstring DeviceList(const std::vector<std::wstring>& names) {
    std::wstring list;
    for (const std::wstring& name : names) {
        list += name;
        list.push_back(L'\0');
    }
    list.push_back(L'\0');
    return list;
}

std::vector<int> Collect(const std::wstring& list) {
    const std::vector<uint8_t> numbers = ComPortNumbers(list.data(), list.size());
    return std::vector<int>(numbers.begin(), numbers.end());
}

TEST(ComPortNamesTest, KeepsTheOrderOfTheList) {
    std::wstring list = DeviceList({L"COM7", L"LPT1", L"COM3", L"Global", L"COM12"});
    EXPECT_EQ((std::vector<int>{7, 3, 12}), Collect(list));
}

TEST(ComPortNamesTest, ReadsTheLeadingDigitsAfterAnUpperCaseComPrefix) {
    std::wstring list = DeviceList({L"COM", L"COMX", L"COM1A", L"com4", L"Com5", L"COM0", L"COM-3",
                                    L"xCOM6", L"COM255", L"COM256", L"COM300"});
    EXPECT_EQ((std::vector<int>{1, 255}), Collect(list));
}

TEST(ComPortNamesTest, EmptyListFindsNothing) {
    EXPECT_TRUE(Collect(DeviceList({})).empty());
}

TEST(ComPortNamesTest, StopsAtTheEightBitCount) {
    std::vector<std::wstring> names;
    for (int i = 0; i < 300; ++i) {
        names.push_back(L"COM" + std::to_wstring(1 + i % 255));
    }
    std::vector<int> found = Collect(DeviceList(names));
    ASSERT_EQ(255u, found.size());
    EXPECT_EQ(1, found.front());
    EXPECT_EQ(255, found.back());
}

TEST(ComPortNamesTest, NeverReadsPastTheStoredLength) {
    // A list cut inside its last name: that name has no terminator and is not listed.
    std::wstring list = L"COM2";
    list.push_back(L'\0');
    list += L"COM9";
    EXPECT_EQ((std::vector<int>{2}), Collect(list));
}

}  // namespace
