// The supported-device reply: complete entries only, never a byte past the reply.
#include "bootmode/device_reply.h"

#include <gtest/gtest.h>

#include <string>

using Bytes = std::vector<uint8_t>;

namespace {

// The reply that a board with these (code, name) entries sends, size byte and SUM included.
Bytes Reply(const std::vector<std::pair<Bytes, std::string>>& devices) {
    Bytes body{static_cast<uint8_t>(devices.size())};
    for (const auto& device : devices) {
        body.push_back(static_cast<uint8_t>(4 + device.second.size()));
        body.insert(body.end(), device.first.begin(), device.first.end());
        body.insert(body.end(), device.second.begin(), device.second.end());
    }
    Bytes reply = body;
    reply.insert(reply.begin(), static_cast<uint8_t>(body.size()));
    reply.insert(reply.begin(), 0x30);
    reply.push_back(0x00);
    return reply;
}

const Bytes kOwnCode{0x15, 0x20, 0x00, 0x40};

}  // namespace

TEST(DeviceReply, ListsEveryEntryWithCodeAndName) {
    DeviceList list;
    ASSERT_TRUE(ReadDeviceReply(
        Reply({{{1, 2, 3, 4}, "H8SX 1520R(33MHz)"}, {kOwnCode, "H8SX 1520R(40MHz)"}}), list));
    ASSERT_EQ(list.count, 2);
    ASSERT_EQ(list.entries.size(), 2u);
    EXPECT_STREQ(list.entries[1].name, "H8SX 1520R(40MHz)");
    EXPECT_EQ(Bytes(list.entries[1].code, list.entries[1].code + 4), kOwnCode);
}

TEST(DeviceReply, NoDevicesOrANegativeCountGiveNoEntries) {
    DeviceList list;
    list.entries.resize(3);
    ASSERT_TRUE(ReadDeviceReply(Bytes{0x30, 0x01, 0x00, 0xCF}, list));
    EXPECT_EQ(list.count, 0);
    EXPECT_TRUE(list.entries.empty());
    ASSERT_TRUE(ReadDeviceReply(Bytes{0x30, 0x01, 0xFE, 0xD1}, list));
    EXPECT_LT(list.count, 1);
    EXPECT_TRUE(list.entries.empty());
}

TEST(DeviceReply, RefusesRepliesShorterThanAnnouncedOrWithoutDeviceCount) {
    DeviceList list;
    EXPECT_FALSE(ReadDeviceReply(Bytes{0x30, 0x09, 0x01, 0x05}, list));
    EXPECT_FALSE(ReadDeviceReply(Bytes{0x30}, list));
    EXPECT_FALSE(ReadDeviceReply(Bytes{0x30, 0x00}, list));
}

TEST(DeviceReply, MalformedEntriesEndTheListAndCountFollowsTheEntriesKept) {
    const Bytes good = Reply({{kOwnCode, "H8SX 1520R(40MHz)"}});
    const struct {
        const char* what;
        Bytes tail;  // the second entry, after a complete first one
    } kCases[] = {
        {"count below 4", {0x03, 0x01, 0x02, 0x03}},
        {"negative count", {0x80, 0x01, 0x02, 0x03, 0x04}},
        {"runs past the reply", {0x20, 0x01, 0x02, 0x03, 0x04, 'H', '8'}},
        {"count byte missing", {}},
    };
    for (const auto& c : kCases) {
        Bytes reply(good.begin(), good.end() - 1);  // without SUM
        reply[2] = 2;
        reply.insert(reply.end(), c.tail.begin(), c.tail.end());
        reply[1] = static_cast<uint8_t>(reply.size() - 2);
        DeviceList list;
        ASSERT_TRUE(ReadDeviceReply(reply, list)) << c.what;
        EXPECT_EQ(list.count, 1) << c.what;
        ASSERT_EQ(list.entries.size(), 1u) << c.what;
        EXPECT_STREQ(list.entries[0].name, "H8SX 1520R(40MHz)") << c.what;
    }
}

TEST(DeviceReply, CutsANameLongerThan79Characters) {
    const std::string name = "H8SX 1520R(40MHz) " + std::string(100, 'x');
    DeviceList list;
    ASSERT_TRUE(ReadDeviceReply(Reply({{kOwnCode, name}, {{9, 9, 9, 9}, "next"}}), list));
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(std::string(list.entries[0].name), name.substr(0, 79));
    EXPECT_STREQ(list.entries[1].name, "next");
}
