// OnSerialEvent between the port's reader thread and the update thread, over real ports on ptys:
// each module hears only its own port.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "bootmode/mod_update_1527.h"
#include "serial/rs232c_port.h"
#include "support/pty_peer.h"
#include "support/wait_until.h"

using Bytes = std::vector<uint8_t>;

namespace {

const int kPatience = 3000;  // ms to wait for something that should happen

int32_t Deliver(ModUpdate1527& module, RS232CPort* port, PortEvent event) {
    return ModUpdate1527::OnSerialEvent(port, static_cast<int32_t>(event), &module);
}

bool OpenOn(RS232CPort& port, const PtyPeer& peer, ModUpdate1527& module) {
    port.SetEventCallback(&ModUpdate1527::OnSerialEvent, &module);
    return port.Open(peer.PortName().c_str(), 9600, 0, 8, false) == RS232COpenResult::PortOpened &&
           WaitUntil([&port] { return port.IsOpen(); }, kPatience);
}

}  // namespace

TEST(SerialEvent, ANullPortOrModuleChangesNothing) {
    ModUpdate1527 module{std::make_unique<RS232CPort>()};
    RS232CPort port;
    Deliver(module, nullptr, PortEvent::Started);
    ModUpdate1527::OnSerialEvent(&port, static_cast<int32_t>(PortEvent::Started), nullptr);
    EXPECT_FALSE(module.readerActive.load());
    EXPECT_TRUE(module.ReceivedBytes().empty());
}

TEST(SerialEvent, StartedAndStoppedMoveReaderActiveAndOtherCodesChangeNothing) {
    ModUpdate1527 module{std::make_unique<RS232CPort>()};
    RS232CPort port;
    Deliver(module, &port, PortEvent::Started);
    EXPECT_TRUE(module.readerActive.load());
    for (int32_t code : std::initializer_list<int32_t>{
             static_cast<int32_t>(PortEvent::WriteDone), static_cast<int32_t>(PortEvent::Ring),
             static_cast<int32_t>(PortEvent::CarrierOn),
             static_cast<int32_t>(PortEvent::CarrierOff), 7, -1}) {
        ModUpdate1527::OnSerialEvent(&port, code, &module);
        EXPECT_TRUE(module.readerActive.load()) << code;
    }
    EXPECT_TRUE(module.ReceivedBytes().empty());
    Deliver(module, &port, PortEvent::Stopped);
    EXPECT_FALSE(module.readerActive.load());
}

// Each module hears its own port: two boards' replies never meet in one buffer.
TEST(SerialEvent, TwoModulesReceiveOnlyTheirOwnPortsBytes) {
    PtyPeer firstPeer;
    PtyPeer secondPeer;
    ASSERT_TRUE(firstPeer.IsReady()) << firstPeer.Problem();
    ASSERT_TRUE(secondPeer.IsReady()) << secondPeer.Problem();
    ModUpdate1527 first{std::make_unique<RS232CPort>()};
    ModUpdate1527 second{std::make_unique<RS232CPort>()};
    RS232CPort firstPort;
    RS232CPort secondPort;
    ASSERT_TRUE(OpenOn(firstPort, firstPeer, first));
    ASSERT_TRUE(OpenOn(secondPort, secondPeer, second));
    EXPECT_TRUE(WaitUntil([&] { return first.readerActive.load() && second.readerActive.load(); },
                          kPatience));
    ASSERT_TRUE(firstPeer.Send({0x00, 0x55, 0xE6}));
    ASSERT_TRUE(secondPeer.Send({0x06}));
    EXPECT_TRUE(WaitUntil([&] { return first.ReceivedBytes().size() == 3; }, kPatience));
    EXPECT_TRUE(WaitUntil([&] { return second.ReceivedBytes().size() == 1; }, kPatience));
    EXPECT_EQ(first.ReceivedBytes(), (Bytes{0x00, 0x55, 0xE6}));
    EXPECT_EQ(second.ReceivedBytes(), Bytes{0x06});
    firstPort.Close();
    EXPECT_FALSE(first.readerActive.load());
    EXPECT_TRUE(second.readerActive.load());
    secondPort.Close();
}

TEST(SerialEvent, BytesArriveInOrderWhileTheUpdateThreadReads) {
    PtyPeer peer;
    ASSERT_TRUE(peer.IsReady()) << peer.Problem();
    ModUpdate1527 module{std::make_unique<RS232CPort>()};
    RS232CPort port;
    ASSERT_TRUE(OpenOn(port, peer, module));
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
            seen = module.ReceivedBytes();
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
