// A verifying host's view of the board in process: user MAT inquiry, sum, read-back, block timing,
// faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "board_sim/host_session.h"

namespace {

const Bytes kAck{0x06};
constexpr uint32_t kUserMatSize = 512 * 1024;

void AppendBigEndian(Bytes* bytes, uint32_t value) {
    bytes->insert(bytes->end(),
                  {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                   static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}

Bytes MemoryRead(uint32_t start, uint32_t size, uint8_t area = 0x01) {
    Bytes frame{0x52, 0x09, area};
    AppendBigEndian(&frame, start);
    AppendBigEndian(&frame, size);
    return WithSum(frame);
}

// The user MAT as this test expects it: erased, then the blocks the test programmed.
struct ExpectedMat {
    Bytes bytes = Bytes(kUserMatSize, 0xFF);

    void Program(const Bytes& blockFrame) {
        const uint32_t address = static_cast<uint32_t>(blockFrame[1]) << 24 |
                                 static_cast<uint32_t>(blockFrame[2]) << 16 |
                                 static_cast<uint32_t>(blockFrame[3]) << 8 | blockFrame[4];
        std::copy(blockFrame.begin() + 5, blockFrame.end() - 1, bytes.begin() + address);
    }
    Bytes SumReply() const {
        uint32_t total = 0;
        for (uint8_t byte : bytes) {
            total += byte;
        }
        Bytes reply{0x5B, 0x04};
        AppendBigEndian(&reply, total);
        return WithSum(reply);
    }
    Bytes ReadReply(uint32_t start, uint32_t size) const {
        Bytes reply{0x52};
        AppendBigEndian(&reply, size);
        reply.insert(reply.end(), bytes.begin() + start, bytes.begin() + start + size);
        return WithSum(reply);
    }
};

const Bytes kUserMatReply = WithSum({0x35, 0x09, 0x01, 0, 0, 0, 0, 0x00, 0x07, 0xFF, 0xFF});

TEST(BoardSimVerifyTest, UserMatInquiryNamesTheOneAreaAmongTheInquiries) {
    InProcessLine sim({"--erase-time", "0"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachDeviceSelection(sim));
    EXPECT_EQ(sim.Exchange({0x25}, kUserMatReply.size() + 1, 300), kUserMatReply);
    ASSERT_TRUE(ReachBitRateSelection(sim));
    ASSERT_TRUE(ChangeTo38400(sim));
    EXPECT_EQ(sim.Exchange({0x40}, 1), kAck);
    EXPECT_EQ(sim.Exchange({0x25}, 2), Bytes({0xA5, 0x80})) << "the inquiries are over";
}

TEST(BoardSimVerifyTest, SumCheckAndReadBackShowTheErasedAndProgrammedMat) {
    InProcessLine sim({"--erase-time", "0"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachErased(sim));
    ExpectedMat mat;
    EXPECT_EQ(sim.Exchange({0x4B}, 7), mat.SumReply()) << "erased, before any block";

    EXPECT_EQ(sim.Exchange({0x43}, 1), kAck);
    EXPECT_EQ(sim.Exchange({0x4B}, 2), Bytes({0xCB, 0x80})) << "while it awaits blocks";
    EXPECT_EQ(sim.Exchange(MemoryRead(0, 1), 2), Bytes({0xD2, 0x80})) << "while it awaits blocks";
    for (const Bytes& block : {BlockFrame(0x0, 0x10), BlockFrame(0x7FF80, 0xC0)}) {
        EXPECT_EQ(sim.Exchange(block, 1), kAck);
        mat.Program(block);
    }
    EXPECT_EQ(sim.Exchange(WithSum({0x50, 0xFF, 0xFF, 0xFF, 0xFF}), 1), kAck);

    EXPECT_EQ(sim.Exchange({0x4B}, 7), mat.SumReply());
    // Half of a programmed unit and half of an erased one; then up to the last byte of the MAT.
    EXPECT_EQ(sim.Exchange(MemoryRead(0x40, 0x80), 6 + 0x80), mat.ReadReply(0x40, 0x80));
    EXPECT_EQ(sim.Exchange(MemoryRead(0x7FF80, 0x80), 6 + 0x80), mat.ReadReply(0x7FF80, 0x80));
    EXPECT_EQ(sim.Count("violation"), 2) << "only the two commands out of order";
}

TEST(BoardSimVerifyTest, MemoryReadRefusesAreasAddressesAndSizesBeyondTheMat) {
    InProcessLine sim({"--erase-time", "0"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachErased(sim));
    Bytes badSum = MemoryRead(0, 1);
    badSum.back() ^= 0x01;
    const struct {
        const char* what;
        Bytes frame;
        Bytes reply;
    } steps[] = {
        {"a wrong SUM", badSum, {0xD2, 0x11}},
        {"another area", MemoryRead(0, 1, 0x00), {0xD2, 0x2A}},
        {"a start past the MAT", MemoryRead(0x80000, 1), {0xD2, 0x2A}},
        {"nothing to read", MemoryRead(0, 0), {0xD2, 0x2B}},
        {"one byte past the MAT", MemoryRead(0x7FF80, 0x81), {0xD2, 0x2B}},
        {"a size that wraps round", MemoryRead(0x100, 0xFFFFFFFF), {0xD2, 0x2B}},
        {"the last byte", MemoryRead(0x7FFFF, 1), WithSum({0x52, 0, 0, 0, 1, 0xFF})},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(sim.Exchange(step.frame, step.reply.size() + 1, 300), step.reply) << step.what;
    }
}

TEST(BoardSimVerifyTest, WrongByteIsAcknowledgedButCaughtBySumCheckReadBackAndDump) {
    InProcessLine sim({"--erase-time", "0", "--wrong-byte", "0x85"});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachProgramming(sim));
    ExpectedMat mat;
    for (const Bytes& block : {BlockFrame(0x0, 1), BlockFrame(0x80, 2)}) {
        EXPECT_EQ(sim.Exchange(block, 1), kAck);
        mat.Program(block);
    }
    EXPECT_EQ(sim.Exchange({0x50, 0xB0}, 1), kAck);
    mat.bytes[0x85] ^= 0xFF;

    EXPECT_EQ(sim.Exchange({0x4B}, 7), mat.SumReply());
    EXPECT_EQ(sim.Exchange(MemoryRead(0x80, 0x80), 6 + 0x80), mat.ReadReply(0x80, 0x80));
    ASSERT_TRUE(sim.WaitFor("dump", 1, "end of programming"));
    EXPECT_TRUE(sim.board().Flash() == mat.bytes) << "the flash holds byte 0x85 inverted";
}

TEST(BoardSimVerifyTest, BadReplySumSpoilsOnlyTheChosenCommandsSum) {
    const Bytes erasedSum = WithSum({0x5B, 0x04, 0x07, 0xF8, 0x00, 0x00});
    const Bytes erasedWord = WithSum({0x52, 0, 0, 0, 4, 0xFF, 0xFF, 0xFF, 0xFF});
    for (const char* chosen : {"0x25", "0x4B", "0x52"}) {
        InProcessLine sim({"--erase-time", "0", "--bad-reply-sum", chosen});
        ASSERT_TRUE(sim.ready());
        ASSERT_TRUE(ReachDeviceSelection(sim));
        const Bytes userMat = sim.Exchange({0x25}, kUserMatReply.size(), 300);
        ASSERT_TRUE(ReachBitRateSelection(sim));
        ASSERT_TRUE(ChangeTo38400(sim));
        EXPECT_EQ(sim.Exchange({0x40}, 1), kAck);
        const Bytes sum = sim.Exchange({0x4B}, erasedSum.size(), 300);
        const Bytes word = sim.Exchange(MemoryRead(0, 4), erasedWord.size(), 300);

        for (const auto& [command, reply, good] :
             {std::make_tuple("0x25", userMat, kUserMatReply),
              std::make_tuple("0x4B", sum, erasedSum), std::make_tuple("0x52", word, erasedWord)}) {
            if (std::string(command) != chosen) {
                EXPECT_EQ(reply, good) << command << " with " << chosen << " spoilt";
                continue;
            }
            ASSERT_EQ(reply.size(), good.size()) << command;
            EXPECT_TRUE(std::equal(good.begin(), good.end() - 1, reply.begin())) << command;
            const uint8_t off = static_cast<uint8_t>(reply.back() - good.back());
            EXPECT_TRUE(off == 0x01 || off == 0xFF) << command << " SUM off by " << int(off);
        }
    }
}

TEST(BoardSimVerifyTest, BlockAckWaitsForTheWireAndTheProgrammingTime) {
    constexpr int kProgramMs = 40;
    InProcessLine sim({"--erase-time", "0", "--program-time", std::to_string(kProgramMs)});
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(ReachProgramming(sim));

    const Bytes frame = BlockFrame(0x0, 1);
    const std::chrono::nanoseconds start = sim.board().Now();
    ASSERT_TRUE(sim.Send(frame));
    EXPECT_EQ(sim.Receive(1, 2000), kAck);
    const long long tookUs =
        std::chrono::duration_cast<std::chrono::microseconds>(sim.board().Now() - start).count();
    // 10 bits a byte: the whole frame in at the host's 38400 bps, the programming, and the ACK out
    // at the 39063 bps that the board's SCI makes.
    const long long earliestUs =
        frame.size() * 10 * 1000000LL / 38400 + 10 * 1000000LL / 39063 + kProgramMs * 1000;
    EXPECT_GE(tookUs, earliestUs);
    EXPECT_LE(tookUs, earliestUs + 1);

    // While the flash is busy the boot program takes nothing in: the status inquiry is lost.
    Bytes frameAndInquiry = BlockFrame(0x80, 2);
    frameAndInquiry.push_back(0x4F);
    EXPECT_EQ(sim.Exchange(frameAndInquiry, 6, 300), kAck);
    EXPECT_TRUE(sim.WaitFor("violation", 1, "while programming"));
}

}  // namespace
