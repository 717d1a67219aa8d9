// RS232CPort on Linux where the device is another holder's: an opening refused as busy leaves
// that holder's exclusive mode in place, also for root, whom the exclusive mode does not stop.
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

}  // namespace
