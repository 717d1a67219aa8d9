// COM names on Windows that reach one port: any case, with or without the device namespace.
#include "serial/port_identity.h"

#include <gtest/gtest.h>

namespace {

TEST(PortIdentityTest, ComNamesInAnyCaseAndNamespaceAreOnePort) {
    EXPECT_TRUE(SamePort("COM3", "com3"));
    EXPECT_TRUE(SamePort("COM3", "\\\\.\\COM3"));
    EXPECT_TRUE(SamePort("\\\\.\\com3", "Com3"));
    EXPECT_FALSE(SamePort("COM3", "COM13"));
    EXPECT_FALSE(SamePort("COM3", "\\\\.\\COM4"));
}

}  // namespace
