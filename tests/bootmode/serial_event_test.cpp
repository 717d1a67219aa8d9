// OnSerialEvent between the port's reader thread and the update thread, over a real port on a pty.
#include <gtest/gtest.h>

#include <algorithm>

#include "bootmode/mod_update_1527.h"
#include "bootmode/receive_buffer.h"
#include "serial/rs232c_port.h"
#include "support/pty_peer.h"
#include "support/wait_until.h"

using Bytes = std::vector<uint8_t>;

namespace {

const int kPatience = 3000;  // ms to wait for something that should happen

bool OpenOn(RS232CPort& port, const PtyPeer& peer) {
    port.SetEventCallback(&ModUpdate1527::OnSerialEvent);
    return port.Open(peer.PortName().c_str(), 9600, 0, 8, false) == RS232COpenResult::PortOpened &&
           WaitUntil([&port] { return port.IsOpen(); }, kPatience);
}

}  // namespace

TEST(SerialEvent, ANullPortChangesNothing) {
    ModUpdate1527 module;
    const uint8_t kept = 0x06;
    g_receiveBuffer.Append(&kept, 1);
    ModUpdate1527::OnSerialEvent(nullptr, static_cast<int32_t>(PortEvent::Started));
    ModUpdate1527::OnSerialEvent(nullptr, static_cast<int32_t>(PortEvent::DataReceived));
    EXPECT_FALSE(module.readerActive.load());
    EXPECT_EQ(g_receiveBuffer.Snapshot(), Bytes{0x06});
}

TEST(SerialEvent, StartedAndStoppedMoveReaderActiveAndOtherCodesChangeNothing) {
    ModUpdate1527 module;
    RS232CPort port;
    ModUpdate1527::OnSerialEvent(&port, static_cast<int32_t>(PortEvent::Started));
    EXPECT_TRUE(module.readerActive.load());
    const uint8_t kept = 0x30;
    g_receiveBuffer.Append(&kept, 1);
    for (int32_t code : std::initializer_list<int32_t>{
             static_cast<int32_t>(PortEvent::WriteDone), static_cast<int32_t>(PortEvent::Ring),
             static_cast<int32_t>(PortEvent::CarrierOn),
             static_cast<int32_t>(PortEvent::CarrierOff), 7, -1}) {
        ModUpdate1527::OnSerialEvent(&port, code);
        EXPECT_TRUE(module.readerActive.load()) << code;
    }
    EXPECT_EQ(g_receiveBuffer.Snapshot(), Bytes{0x30});
    ModUpdate1527::OnSerialEvent(&port, static_cast<int32_t>(PortEvent::Stopped));
    EXPECT_FALSE(module.readerActive.load());
}

TEST(SerialEvent, WithoutALiveModuleBytesStillArrive) {
    PtyPeer peer;
    ASSERT_TRUE(peer.IsReady()) << peer.Problem();
    { ModUpdate1527 gone; }
    ASSERT_EQ(g_activeModule.load(), nullptr);
    g_receiveBuffer.Clear();
    RS232CPort port;
    ASSERT_TRUE(OpenOn(port, peer));  // Started, with no module to tell
    ASSERT_TRUE(peer.Send({0x00, 0x55, 0xE6}));
    EXPECT_TRUE(WaitUntil([] { return g_receiveBuffer.Size() == 3; }, kPatience));
    EXPECT_EQ(g_receiveBuffer.Snapshot(), (Bytes{0x00, 0x55, 0xE6}));
    port.Close();  // Stopped, likewise
}

TEST(SerialEvent, BytesArriveInOrderWhileTheUpdateThreadReads) {
    PtyPeer peer;
    ASSERT_TRUE(peer.IsReady()) << peer.Problem();
    ModUpdate1527 module;
    RS232CPort port;
    ASSERT_TRUE(OpenOn(port, peer));
    EXPECT_TRUE(WaitUntil([&module] { return module.readerActive.load(); }, kPatience));

    Bytes sent(1500);
    for (size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<uint8_t>(i * 7);
    }
    ASSERT_TRUE(peer.Send(sent));
    // Every look while the reader thread appends sees a prefix of what was sent; the looks end at
    // the first that does not.
    Bytes seen;
    bool prefix = true;
    WaitUntil(
        [&] {
            seen = g_receiveBuffer.Snapshot();
            prefix =
                seen.size() <= sent.size() && std::equal(seen.begin(), seen.end(), sent.begin());
            return !prefix || seen.size() == sent.size();
        },
        5000, 1);
    ASSERT_LE(seen.size(), sent.size());
    ASSERT_TRUE(prefix) << seen.size();
    EXPECT_EQ(seen, sent);

    port.Close();
    EXPECT_FALSE(module.readerActive.load());
}
