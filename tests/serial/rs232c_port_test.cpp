// RS232CPort against a pseudo-terminal peer: opening and its refusals, reads one request at a
// time, writes and their refusals, reopening at other settings, loss of the device, requests that
// no opening inherits, and the reader thread's lifetime.
#include "serial/rs232c_port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "support/pty_peer.h"
#include "support/wait_until.h"
#include "serial/thread_sync.h"

namespace {

const int kPatience = 5000;  // ms to wait for something that should happen
const int kQuiet = 200;      // ms to watch for something that should not

// What the port reported, as the reader thread delivered it.
class EventLog {
public:
    void Record(SerialLink* port, PortEvent code) {
        {
            std::lock_guard<Mutex> guard(lock_);
            codes_.push_back(code);
            if (code == PortEvent::Started || code == PortEvent::Stopped) {
                openWhenRaised_.push_back(port->IsOpen());
            }
            if (code == PortEvent::Stopped) {
                lostWhenStopped_.push_back(port->IsLost());
            }
            if (code == PortEvent::DataReceived) {
                const uint8_t* bytes = port->GetReceiveBuffer();
                counts_.push_back(port->GetReceivedCount());
                received_.insert(received_.end(), bytes, bytes + port->GetReceivedCount());
            }
        }
        if (static_cast<int32_t>(code) == holdAt_.load()) {
            holdAt_.store(-1);
            release_.Wait(-1);
        }
        if (code == PortEvent::DataReceived && requestReads_.load()) {
            port->RequestRead();
        }
    }

    // Keeps the reader thread inside the callback of the next `code` until Release.
    void HoldAt(PortEvent code) { holdAt_.store(static_cast<int32_t>(code)); }
    void Release() { release_.Set(); }
    void RequestReadsByHand() { requestReads_.store(false); }

    bool WaitFor(PortEvent code, size_t times) {
        return WaitUntil([=] { return Count(code) >= times; }, kPatience);
    }

    size_t Count(PortEvent code) {
        std::lock_guard<Mutex> guard(lock_);
        size_t count = 0;
        for (PortEvent recorded : codes_) {
            count += recorded == code;
        }
        return count;
    }

    std::vector<PortEvent> Codes() {
        std::lock_guard<Mutex> guard(lock_);
        return codes_;
    }
    std::vector<bool> OpenWhenRaised() {
        std::lock_guard<Mutex> guard(lock_);
        return openWhenRaised_;
    }
    std::vector<bool> LostWhenStopped() {
        std::lock_guard<Mutex> guard(lock_);
        return lostWhenStopped_;
    }
    std::vector<int32_t> Counts() {
        std::lock_guard<Mutex> guard(lock_);
        return counts_;
    }
    std::vector<uint8_t> Received() {
        std::lock_guard<Mutex> guard(lock_);
        return received_;
    }

private:
    Mutex lock_;
    std::vector<PortEvent> codes_;
    std::vector<bool> openWhenRaised_;   // IsOpen at each PortEvent::Started and PortEvent::Stopped
    std::vector<bool> lostWhenStopped_;  // IsLost at each PortEvent::Stopped
    std::vector<int32_t> counts_;
    std::vector<uint8_t> received_;
    std::atomic<int32_t> holdAt_{-1};
    std::atomic<bool> requestReads_{true};
    Event release_;
};

int32_t RecordEvent(SerialLink* port, int32_t code, void* log) {
    static_cast<EventLog*>(log)->Record(port, static_cast<PortEvent>(code));
    return 0;
}

std::vector<uint8_t> Pattern(size_t length) {
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    return bytes;
}

class RS232CPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.IsReady()) << peer.Problem();
        port.SetEventCallback(&RecordEvent, &log);
    }

    void OpenRunning(int32_t bitRate = 19200, bool lineEvents = false) {
        size_t started = log.Count(PortEvent::Started);
        ASSERT_EQ(RS232COpenResult::PortOpened,
                  port.Open(peer.PortName().c_str(), bitRate, 0, 8, lineEvents));
        ASSERT_TRUE(log.WaitFor(PortEvent::Started, started + 1));
    }

    // Sends one byte and waits for it to come back through the port.
    void ExpectDataFlows(uint8_t byte) {
        size_t before = log.Count(PortEvent::DataReceived);
        ASSERT_TRUE(peer.Send({byte}));
        ASSERT_TRUE(log.WaitFor(PortEvent::DataReceived, before + 1));
        EXPECT_EQ(byte, log.Received().back());
    }

    // The module closes its port before destroying it; the tests do the same.
    void TearDown() override { port.Close(); }

    PtyPeer peer;
    EventLog log;
    RS232CPort port;
};

TEST_F(RS232CPortTest, OpenRefusalsStartNoThread) {
    EXPECT_EQ(RS232COpenResult::NoPortName, port.Open(nullptr, 19200, 0, 8, false));
    EXPECT_EQ(RS232COpenResult::DeviceNotOpened,
              port.Open("VELMORA-NO-SUCH-PORT", 19200, 0, 8, false));
    // Too long for the name field: refused rather than opened under a cut-off name.
    std::string longName = peer.PortName() + std::string(RS232CPort::kPortNameCapacity, '/');
    EXPECT_EQ(RS232COpenResult::DeviceNotOpened, port.Open(longName.c_str(), 19200, 0, 8, false));

    SleepMilliseconds(kQuiet);
    EXPECT_TRUE(log.Codes().empty());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(0u, port.GetInputQueueCount());
}

TEST_F(RS232CPortTest, ADeviceInUseIsNotOpenedTwice) {
    if (RunsUnderWine()) {
        GTEST_SKIP() << "Wine lets a second handle open a COM port that is in use";
    }
    OpenRunning();
    RS232CPort second;
    EXPECT_EQ(RS232COpenResult::DeviceNotOpened,
              second.Open(peer.PortName().c_str(), 19200, 0, 8, false));
    port.Close();
    EXPECT_EQ(RS232COpenResult::PortOpened,
              second.Open(peer.PortName().c_str(), 19200, 0, 8, false));
    second.Close();
}

TEST_F(RS232CPortTest, IsOpenFollowsTheReaderThread) {
    OpenRunning();
    EXPECT_TRUE(port.IsOpen());
    port.Close();

    EXPECT_EQ((std::vector<PortEvent>{PortEvent::Started, PortEvent::Stopped}), log.Codes());
    EXPECT_EQ((std::vector<bool>{true, false}), log.OpenWhenRaised());
    EXPECT_EQ((std::vector<bool>{false}), log.LostWhenStopped()) << "a Close is no loss";
    EXPECT_FALSE(port.IsOpen());
    // PortEvent::Stopped came after the port was closed: the device is free again.
    RS232CPort next;
    EXPECT_EQ(RS232COpenResult::PortOpened, next.Open(peer.PortName().c_str(), 19200, 0, 8, false));
    next.Close();
}

TEST_F(RS232CPortTest, EachReadWaitsForRequestReadAndLaterBytesWaitInTheQueue) {
    log.RequestReadsByHand();
    OpenRunning();
    ASSERT_TRUE(peer.Send({0x11, 0x22, 0x33}));

    for (size_t read = 1; read <= 3; ++read) {
        ASSERT_TRUE(log.WaitFor(PortEvent::DataReceived, read));
        SleepMilliseconds(kQuiet);
        EXPECT_EQ(read, log.Count(PortEvent::DataReceived)) << "a read started without RequestRead";
        EXPECT_FALSE(port.IsReadPending());
        EXPECT_EQ(3 - read, port.GetInputQueueCount());
        port.RequestRead();
    }
    EXPECT_EQ((std::vector<int32_t>{1, 1, 1}), log.Counts());
    EXPECT_EQ((std::vector<uint8_t>{0x11, 0x22, 0x33}), log.Received());
    EXPECT_TRUE(WaitUntil([this] { return port.IsReadPending(); }, kPatience));
}

TEST_F(RS232CPortTest, ReadSizeIsKeptBetweenOneAndTheBufferSize) {
    log.RequestReadsByHand();
    port.SetReadSize(1000);
    OpenRunning();
    std::vector<uint8_t> sent = Pattern(300);
    ASSERT_TRUE(peer.Send(sent));

    ASSERT_TRUE(log.WaitFor(PortEvent::DataReceived, 1));
    EXPECT_EQ((std::vector<int32_t>{256}), log.Counts());
    EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 256), log.Received());
    EXPECT_EQ(44u, port.GetInputQueueCount());

    port.SetReadSize(0);
    port.RequestRead();
    ASSERT_TRUE(log.WaitFor(PortEvent::DataReceived, 2));
    EXPECT_EQ((std::vector<int32_t>{256, 1}), log.Counts());
    EXPECT_EQ(sent[256], log.Received().back());
}

TEST_F(RS232CPortTest, WritesUpTo255BytesAndRefusesTheRestSilently) {
    OpenRunning();
    std::vector<uint8_t> frame = Pattern(255);
    port.Write(frame.data(), 255);
    EXPECT_EQ(frame, peer.Receive(255, kPatience));
    ASSERT_TRUE(log.WaitFor(PortEvent::WriteDone, 1));
    EXPECT_FALSE(port.IsWriting());

    std::vector<uint8_t> tooLong = Pattern(256);
    port.Write(tooLong.data(), 256);
    EXPECT_FALSE(port.IsWriting());
    port.Write(nullptr, 3);
    EXPECT_FALSE(port.IsWriting());
    port.Write(frame.data(), -1);
    EXPECT_FALSE(port.IsWriting());

    EXPECT_TRUE(peer.Receive(1, kQuiet).empty());
    EXPECT_EQ(1u, log.Count(PortEvent::WriteDone));
}

TEST_F(RS232CPortTest, AWriteWhileTheLastIsInProgressIsDropped) {
    OpenRunning();
    log.HoldAt(PortEvent::DataReceived);
    ExpectDataFlows(0x5A);  // the reader thread now waits inside the callback

    const uint8_t first[] = {0x10, 0x04, 0x01, 0x02};
    const uint8_t second[] = {0x4F};
    port.Write(first, sizeof first);
    EXPECT_TRUE(port.IsWriting());
    port.Write(second, sizeof second);
    log.Release();

    EXPECT_EQ(std::vector<uint8_t>(first, first + sizeof first), peer.Receive(4, kPatience));
    EXPECT_TRUE(peer.Receive(1, kQuiet).empty());
    EXPECT_EQ(1u, log.Count(PortEvent::WriteDone));
    EXPECT_FALSE(port.IsWriting());
}

// A pty keeps rate, stop bits and flow control but forces 8 data bits without parity, so those
// two cannot be witnessed here.
TEST_F(RS232CPortTest, ReopensAtEachRateWithOneStopBitAndNoFlowControl) {
    const int32_t rates[] = {19200, 9600, 38400, 115200};
    size_t opened = 0;
    for (int32_t rate : rates) {
        SCOPED_TRACE(rate);
        port.Close();  // the first has no reader thread to stop, and leaves nothing behind
        OpenRunning(rate);
        ++opened;
        PeerLineSettings settings;
        ASSERT_TRUE(peer.ReadLineSettings(&settings));
        EXPECT_EQ(rate, settings.bitRate);
        EXPECT_FALSE(settings.twoStopBits);
        EXPECT_FALSE(settings.hardwareFlow);
    }
    ExpectDataFlows(0xE6);
    port.Close();

    std::vector<PortEvent> lifecycle;
    for (PortEvent code : log.Codes()) {
        if (code == PortEvent::Started || code == PortEvent::Stopped) {
            lifecycle.push_back(code);
        }
    }
    std::vector<PortEvent> expected;
    for (size_t i = 0; i < opened; ++i) {
        expected.insert(expected.end(), {PortEvent::Started, PortEvent::Stopped});
    }
    EXPECT_EQ(expected, lifecycle);
}

TEST_F(RS232CPortTest, OptionsCanAskForHardwareHandshake) {
    RS232COptions options = {};
    options.hardwareHandshake = true;
    options.binaryMode = 1;
    ASSERT_EQ(RS232COpenResult::PortOpened,
              port.Open(peer.PortName().c_str(), 57600, 0, 8, false, &options));
    ASSERT_TRUE(log.WaitFor(PortEvent::Started, 1));
    PeerLineSettings settings;
    ASSERT_TRUE(peer.ReadLineSettings(&settings));
    EXPECT_EQ(57600, settings.bitRate);
    EXPECT_TRUE(settings.hardwareFlow);
}

TEST_F(RS232CPortTest, LosingTheDeviceEndsTheReaderThreadAndALaterOpenWorks) {
    OpenRunning();
    ASSERT_TRUE(peer.Hangup());
    ASSERT_TRUE(log.WaitFor(PortEvent::Stopped, 1));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ((std::vector<bool>{true}), log.LostWhenStopped())
        << "known when PortEvent::Stopped came";
    EXPECT_TRUE(port.IsLost());

    ASSERT_TRUE(peer.Recreate());
    ASSERT_EQ(RS232COpenResult::PortOpened, port.Open(peer.PortName().c_str(), 19200, 0, 8, false));
    EXPECT_FALSE(port.IsLost());
    ASSERT_TRUE(log.WaitFor(PortEvent::Started, 2));
    ExpectDataFlows(0x06);
    EXPECT_EQ(1u, log.Count(PortEvent::Stopped));
}

// The bytes of a session that failed must never reach a board that has been reset since.
TEST_F(RS232CPortTest, AWriteHandedOverAfterALossNeverReachesTheNextOpening) {
    OpenRunning();
    ASSERT_TRUE(peer.Hangup());
    ASSERT_TRUE(log.WaitFor(PortEvent::Stopped, 1));
    const uint8_t stale[] = {0x50, 0x00, 0x00, 0x01, 0x00};
    port.Write(stale, sizeof stale);
    EXPECT_TRUE(port.IsWriting()) << "no reader thread takes it";

    ASSERT_TRUE(peer.Recreate());
    ASSERT_EQ(RS232COpenResult::PortOpened, port.Open(peer.PortName().c_str(), 19200, 0, 8, false));
    EXPECT_FALSE(port.IsWriting());
    ASSERT_TRUE(log.WaitFor(PortEvent::Started, 2));
    EXPECT_TRUE(peer.Receive(1, kQuiet).empty());

    const uint8_t fresh[] = {0x27};
    port.Write(fresh, sizeof fresh);
    EXPECT_EQ(std::vector<uint8_t>(fresh, fresh + sizeof fresh),
              peer.Receive(sizeof fresh, kPatience));
    ASSERT_TRUE(log.WaitFor(PortEvent::WriteDone, 1));
    EXPECT_EQ(1u, log.Count(PortEvent::WriteDone));
}

// A Close after the reader thread has gone, as every way out of a failed update step makes.
TEST_F(RS232CPortTest, ACloseAfterALossLeavesNoStopForTheNextOpening) {
    OpenRunning();
    ASSERT_TRUE(peer.Hangup());
    ASSERT_TRUE(log.WaitFor(PortEvent::Stopped, 1));
    port.Close();
    port.Close();

    ASSERT_TRUE(peer.Recreate());
    OpenRunning();
    ExpectDataFlows(0x30);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ((std::vector<PortEvent>{PortEvent::Started, PortEvent::Stopped, PortEvent::Started,
                                      PortEvent::DataReceived}),
              log.Codes());
}

TEST_F(RS232CPortTest, OpenNeverStartsASecondReaderThread) {
    OpenRunning();
    EXPECT_EQ(RS232COpenResult::DeviceNotOpened,
              port.Open(peer.PortName().c_str(), 9600, 0, 8, false));
    SleepMilliseconds(kQuiet);
    EXPECT_EQ(1u, log.Count(PortEvent::Started));
    EXPECT_TRUE(port.IsOpen());
    ExpectDataFlows(0x37);
}

TEST_F(RS232CPortTest, AReaderThreadOutlivingItsPortNeverCallsIt) {
    RS232CPort* doomed = new RS232CPort;
    doomed->SetEventCallback(&RecordEvent, &log);
    ASSERT_EQ(RS232COpenResult::PortOpened,
              doomed->Open(peer.PortName().c_str(), 19200, 0, 8, false));
    ASSERT_TRUE(log.WaitFor(PortEvent::Started, 1));
    delete doomed;  // no Close: the thread is still in its loop when the wait runs out

    SleepMilliseconds(kQuiet);
    EXPECT_EQ((std::vector<PortEvent>{PortEvent::Started}), log.Codes());
    // The orphaned thread was told to stop and gave the device back.
    RS232COpenResult result = RS232COpenResult::DeviceNotOpened;
    WaitUntil(
        [&] {
            result = port.Open(peer.PortName().c_str(), 19200, 0, 8, false);
            return result == RS232COpenResult::PortOpened;
        },
        kPatience, 10);
    EXPECT_EQ(RS232COpenResult::PortOpened, result);
}

TEST_F(RS232CPortTest, LineEventsOnADeviceWithoutModemLinesChangeNothing) {
    if (RunsUnderWine()) {
        GTEST_SKIP() << "Wine fails WaitCommEvent for ring and carrier detect on a pty "
                        "(ERROR_NOT_SUPPORTED: no modem status), which ends the reader thread";
    }
    OpenRunning(19200, true);
    ExpectDataFlows(0x11);
    SleepMilliseconds(kQuiet);
    EXPECT_EQ((std::vector<PortEvent>{PortEvent::Started, PortEvent::DataReceived}), log.Codes());
    EXPECT_TRUE(port.IsOpen());
}

}  // namespace
