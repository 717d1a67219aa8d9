// The board in process as the update module meets it through its link and clock: when bytes come
// and go in virtual time, and how openings fail.
#include "support/in_process_board.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "board_sim/host_session.h"
#include "serial/thread_sync.h"

namespace {

// One byte of 10 bits at 9600 bps.
constexpr std::chrono::nanoseconds kByteAt9600{1041666};

// A host that records the link's events and asks for the next read only when told to.
struct Recorder {
    explicit Recorder(InProcessBoard& link) : board(link) {
        board.SetEventCallback(&Recorder::OnEvent, this);
    }

    static int32_t OnEvent(SerialLink* link, int32_t code, void* context) {
        Recorder& recorder = *static_cast<Recorder*>(context);
        recorder.events.push_back(static_cast<PortEvent>(code));
        if (code == static_cast<int32_t>(PortEvent::Started)) {
            recorder.openWhenStarted = link->IsOpen();
        } else if (code == static_cast<int32_t>(PortEvent::DataReceived)) {
            recorder.received.push_back(link->GetReceiveBuffer()[0]);
            recorder.arrived.Set();
            if (recorder.readAgain) {
                link->RequestRead();
            }
        } else if (code == static_cast<int32_t>(PortEvent::WriteDone)) {
            recorder.written.Set();
        }
        return 0;
    }

    bool Open(int bitRate) {
        return board.Open(board.PortName().c_str(), bitRate, 0, 8, false) ==
               RS232COpenResult::PortOpened;
    }
    // The two short openings at 19200 bps that reset the board into its boot program.
    bool EnterBootMode() {
        for (int pulse = 0; pulse < 2; ++pulse) {
            if (!Open(19200)) {
                return false;
            }
            board.Close();
        }
        return board.Count("reset") == 2;
    }
    void Send(const Bytes& bytes) { board.Write(bytes.data(), static_cast<int32_t>(bytes.size())); }

    InProcessBoard& board;
    std::vector<PortEvent> events;
    Bytes received;
    bool readAgain = true;
    bool openWhenStarted = false;
    Event arrived;
    Event written;
};

TEST(InProcessBoardTest, AWriteKeepsTheLineBusyForItsWireTime) {
    InProcessBoard board({});
    Recorder host(board);
    ASSERT_TRUE(host.Open(9600));
    const std::chrono::nanoseconds start = board.Now();
    host.Send({0x01, 0x02, 0x03});
    EXPECT_TRUE(board.IsWriting());
    host.Send({0x04});
    EXPECT_FALSE(board.WaitFor(host.written, 3));
    EXPECT_TRUE(board.IsWriting());
    EXPECT_TRUE(board.WaitFor(host.written, 1));
    EXPECT_FALSE(board.IsWriting());
    EXPECT_EQ(board.Now() - start, 3 * kByteAt9600);
    EXPECT_EQ(board.HostBytes(), Bytes({0x01, 0x02, 0x03})) << "the write while busy is refused";
}

TEST(InProcessBoardTest, AReplyByteComesAtItsWireTimeAndOnlyAfterARequestedRead) {
    InProcessBoard board({});
    Recorder host(board);
    ASSERT_TRUE(host.EnterBootMode());
    ASSERT_TRUE(host.Open(9600));
    EXPECT_TRUE(host.openWhenStarted);
    const std::chrono::nanoseconds start = board.Now();
    host.Send({0x00});
    // The matching byte goes in, then the board's 0x00 comes back: two byte times.
    EXPECT_FALSE(board.WaitFor(host.arrived, 2));
    EXPECT_TRUE(host.received.empty());
    EXPECT_TRUE(board.WaitFor(host.arrived, 1));
    EXPECT_EQ(board.Now() - start, 2 * kByteAt9600);
    EXPECT_EQ(host.received, Bytes{0x00});

    // The device inquiry's reply: one byte, then the rest waits for the next requested read.
    host.arrived.Reset();
    host.Send({0x55});
    ASSERT_TRUE(board.WaitFor(host.arrived, 10));
    host.arrived.Reset();
    host.readAgain = false;
    host.received.clear();
    host.Send({0x20});
    ASSERT_TRUE(board.WaitFor(host.arrived, 10));
    board.Sleep(100);
    EXPECT_EQ(host.received, Bytes{0x30});
    EXPECT_FALSE(board.IsReadPending());
    host.readAgain = true;
    board.RequestRead();
    board.Sleep(0);
    EXPECT_EQ(host.received.size(), 48u) << "the waiting bytes came at once";
}

// As a real port's driver: nothing the host left unread, or the board sent while the port was
// closed, reaches the next opening.
TEST(InProcessBoardTest, ANewOpeningGetsNoReplyOfTheLastOne) {
    InProcessBoard board({});
    Recorder host(board);
    ASSERT_TRUE(host.EnterBootMode());
    ASSERT_TRUE(host.Open(9600));
    host.Send({0x00});
    board.Sleep(1);
    // The reply's stop bit ends while the port is closed.
    board.Close();
    board.Sleep(5);
    ASSERT_TRUE(host.Open(9600));
    board.Sleep(10);
    EXPECT_TRUE(host.received.empty());
    EXPECT_EQ(board.Count("tx-lost", "port closed"), 1);

    host.Send({0x00});
    board.Sleep(10);
    host.Send({0x55});
    board.Sleep(10);
    ASSERT_EQ(host.received, Bytes({0x00, 0xE6}));
    host.readAgain = false;
    host.Send({0x20});
    board.Sleep(100);
    board.Close();
    host.readAgain = true;
    ASSERT_TRUE(host.Open(9600));
    board.Sleep(100);
    EXPECT_EQ(host.received, Bytes({0x00, 0xE6, 0x30}))
        << "the rest of the reply went with the close";
}

TEST(InProcessBoardTest, OpeningsFailAsOnAMissingDeviceOrAFileThatIsNoSerialPort) {
    InProcessBoard board({"--vanish-after-matching", "1"});
    Recorder host(board);
    EXPECT_EQ(board.Open("/dev/ttyS0", 9600, 0, 8, false), RS232COpenResult::DeviceNotOpened);
    EXPECT_EQ(board.LastOpenProblem().kind, PortProblem::NoSuchPort);
    EXPECT_TRUE(host.events.empty());

    ASSERT_TRUE(host.EnterBootMode());
    ASSERT_TRUE(host.Open(9600));
    host.Send({0x00});
    board.Sleep(100);
    EXPECT_EQ(board.Count("vanish"), 1);
    EXPECT_FALSE(board.IsOpen());
    EXPECT_TRUE(board.IsLost());
    EXPECT_EQ(host.events.back(), PortEvent::Stopped);
    EXPECT_FALSE(host.Open(19200));
    EXPECT_EQ(board.LastOpenProblem().kind, PortProblem::NoSuchPort);

    InProcessLine session({"--reboot-unopenable", "2", "--erase-time", "0"});
    ASSERT_TRUE(ReachProgramming(session));
    EXPECT_EQ(session.Exchange({0x50, 0xB0}, 1), Bytes{0x06});
    session.Close();
    InProcessBoard& rebooted = session.board();
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(rebooted.Open(rebooted.PortName().c_str(), 19200, 0, 8, false),
                  RS232COpenResult::LineSettingsRefused);
        EXPECT_EQ(rebooted.LastOpenProblem().kind, PortProblem::NotSerial);
    }
    EXPECT_EQ(rebooted.Open(rebooted.PortName().c_str(), 19200, 0, 8, false),
              RS232COpenResult::PortOpened);
    rebooted.Close();
    EXPECT_EQ(rebooted.Count("reboot", "new-firmware"), 1);
}

}  // namespace
