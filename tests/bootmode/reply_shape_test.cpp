// When a reply is complete, for the reply-paced transactions, and what is wrong with a reply to
// the commands whose SUM is checked.
#include "bootmode/reply_shape.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(ReplyComplete, WaitsForEveryByteTheShapeAnnounces) {
    const struct {
        ReplyShape shape;
        Bytes reply;
        bool complete;
    } kCases[] = {
        {ReplyShape::Byte, {}, false},
        {ReplyShape::Byte, {0x15}, true},
        {ReplyShape::Ack, {0x06}, true},
        {ReplyShape::Ack, {0xD0}, false},  // an error code waits for its detail
        {ReplyShape::Ack, {0xD0, 0x2A}, true},
        {ReplyShape::Ack, {0x15}, false},  // a single non-ACK byte is judged when time runs out
        {ReplyShape::Inquiry, {0x30}, false},
        {ReplyShape::Inquiry, {0x30, 0x02, 0x01}, false},
        {ReplyShape::Inquiry, {0x30, 0x02, 0x01, 0x02}, false},
        {ReplyShape::Inquiry, {0x30, 0x02, 0x01, 0x02, 0xCB}, true},
        {ReplyShape::Inquiry, {0x30, 0x00, 0xD0}, true},
        {ReplyShape::Inquiry, {0xA5, 0x80}, true},
        {ReplyShape::MemoryRead, {0x52, 0x00, 0x00, 0x00}, false},
        {ReplyShape::MemoryRead, {0x52, 0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB}, false},
        {ReplyShape::MemoryRead, {0x52, 0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB, 0xF3}, true},
        {ReplyShape::MemoryRead, {0x52, 0x00, 0x00, 0x01, 0x00}, false},  // 256 bytes to come
        {ReplyShape::MemoryRead, {0xD2, 0x2B}, true},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(c.complete, ReplyComplete(c.shape, c.reply))
            << static_cast<int>(c.shape) << " with " << c.reply.size() << " bytes";
    }
}

TEST(ReplyProblem, NamesWhatIsWrongAndPassesOnlyAWholeReplyWithItsSum) {
    EXPECT_EQ("", InquiryReplyProblem({0x5B, 0x04, 0x07, 0xF1, 0xAC, 0xE0, 0x1D}, 0x5B));
    EXPECT_EQ("a reply with a wrong SUM",
              InquiryReplyProblem({0x5B, 0x04, 0x07, 0xF1, 0xAC, 0xE0, 0x1E}, 0x5B));
    EXPECT_EQ("no reply", InquiryReplyProblem({}, 0x5B));
    EXPECT_EQ("the error reply 0xCB 0x80", InquiryReplyProblem({0xCB, 0x80}, 0x5B));
    EXPECT_EQ("the reply 0x35 instead of 0x5B", InquiryReplyProblem({0x35, 0x00, 0xCB}, 0x5B));
    EXPECT_EQ("a reply shorter than its size byte says",
              InquiryReplyProblem({0x5B, 0x04, 0x07}, 0x5B));

    EXPECT_EQ("", MemoryReadProblem({0x52, 0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB, 0x47}, 2));
    EXPECT_EQ("a reply with a wrong SUM",
              MemoryReadProblem({0x52, 0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB, 0x48}, 2));
    EXPECT_EQ("a reply of 2 bytes instead of 3",
              MemoryReadProblem({0x52, 0x00, 0x00, 0x00, 0x02, 0xAA, 0xBB, 0x47}, 3));
    EXPECT_EQ("the error reply 0xD2 0x2A: the address is not in the user MAT",
              MemoryReadProblem({0xD2, 0x2A}, 2));
}

}  // namespace
