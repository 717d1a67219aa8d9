// RS232CPort on Linux where the device is another holder's: an opening refused as busy leaves
// that holder's exclusive mode in place, also for root, whom the exclusive mode does not stop; and
// asking which rates the driver runs leaves the line as it was.
#include "serial/rs232c_port.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/pty_peer.h"

namespace {

TEST(RS232CPortDeviceTest, ABusyOpeningLeavesTheHoldersExclusiveMode) {
    PtyPeer peer;
    ASSERT_TRUE(peer.IsReady()) << peer.Problem();
    const std::string path = peer.PortName();
    RS232CPort holder;
    ASSERT_EQ(RS232COpenResult::PortOpened, holder.Open(path.c_str(), 19200, 0, 8, false));
    RS232CPort second;
    EXPECT_EQ(RS232COpenResult::DeviceNotOpened, second.Open(path.c_str(), 19200, 0, 8, false));
    EXPECT_EQ(PortProblem::Busy, second.LastOpenProblem().kind);

    // The mode refuses every other opening but root's, which can ask for it.
    const int probe = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int refusal = errno;
    int exclusive = 0;
    if (probe >= 0) {
        ASSERT_EQ(0, ioctl(probe, TIOCGEXCL, &exclusive));
        close(probe);
    }
    EXPECT_TRUE(probe < 0 ? refusal == EBUSY : exclusive != 0);
    holder.Close();
}

TEST(RS232CPortDeviceTest, AskingWhichRatesTheDriverRunsLeavesTheLineAsItWas) {
    PtyPeer peer;
    ASSERT_TRUE(peer.IsReady()) << peer.Problem();
    const std::string path = peer.PortName();
    // A pty keeps its settings while its other end is open.
    const int line = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(line, 0);
    termios settings;
    ASSERT_EQ(0, tcgetattr(line, &settings));
    cfsetispeed(&settings, B19200);
    cfsetospeed(&settings, B19200);
    ASSERT_EQ(0, tcsetattr(line, TCSANOW, &settings));

    RS232CPort port;
    // A pty runs any rate it is given.
    EXPECT_TRUE(port.RefusedBitRates(path.c_str(), {625000, 76800}).empty());
    ASSERT_EQ(0, tcgetattr(line, &settings));
    EXPECT_EQ(B19200, cfgetospeed(&settings));

    // While another holder has it, its rate is not touched.
    RS232CPort holder;
    ASSERT_EQ(RS232COpenResult::PortOpened, holder.Open(path.c_str(), 57600, 0, 8, false));
    EXPECT_TRUE(port.RefusedBitRates(path.c_str(), {625000}).empty());
    ASSERT_EQ(0, tcgetattr(line, &settings));
    EXPECT_EQ(B57600, cfgetospeed(&settings));
    holder.Close();
    close(line);
}

}  // namespace
