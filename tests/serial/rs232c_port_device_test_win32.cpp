// RS232CPort on Windows with a device that is no serial port: NUL and a file open, but are named
// as what they are rather than as ports that refuse the bit rate.
#include "serial/rs232c_port.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(RS232CPortDeviceTest, NulAndAFileAreNoSerialPorts) {
    char folder[MAX_PATH] = {};
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, folder));
    const std::string file = std::string(folder) + "velmora-not-a-port.txt";
    const HANDLE created = CreateFileA(file.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, created);
    CloseHandle(created);

    for (const std::string& name : {std::string("NUL"), file}) {
        RS232CPort port;
        EXPECT_EQ(RS232COpenResult::LineSettingsRefused,
                  port.Open(name.c_str(), 19200, 0, 8, false))
            << name;
        EXPECT_EQ(PortProblem::NotSerial, port.LastOpenProblem().kind) << name;
        EXPECT_FALSE(port.IsOpen()) << name;
    }
    DeleteFileA(file.c_str());
}

}  // namespace
