// A board's serial number in its copy of the image: the forms it takes, the refusal of a place
// that the image fills or that leaves the user MAT, and an image grown to hold it.
#include "cli/serial_number.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/data_piece.h"
#include "image/user_mat.h"

namespace {

FirmwareImage Image(std::vector<DataPiece> pieces) {
    return LayFirmwareImage(pieces);
}

SerialLayout At(uint32_t address, const std::string& form = "u32be") {
    SerialLayout layout;
    layout.address = address;
    EXPECT_TRUE(ParseSerialForm(form, layout)) << form;
    return layout;
}

TEST(SerialNumber, TakesEachFormInItsOwnBytes) {
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x00, 0x13, 0x94}), SerialBytes(At(0), 5012));
    EXPECT_EQ((std::vector<uint8_t>{0x94, 0x13, 0x00, 0x00}), SerialBytes(At(0, "u32le"), 5012));
    EXPECT_EQ((std::vector<uint8_t>{'0', '0', '5', '0', '1', '2'}),
              SerialBytes(At(0, "ascii:6"), 5012));
    EXPECT_EQ(999999u, LargestSerial(At(0, "ascii:6")));
    EXPECT_EQ(UINT32_MAX, LargestSerial(At(0, "ascii:10")));
    EXPECT_EQ(UINT32_MAX, LargestSerial(At(0)));

    SerialLayout layout;
    for (const char* refused : {"u32", "U32BE", "ascii:", "ascii:0", "ascii:11", "ascii:4x",
                                "ascii:-1", "ascii:004", "bcd"}) {
        EXPECT_FALSE(ParseSerialForm(refused, layout)) << refused;
    }
}

TEST(SerialNumber, GoesOnlyWhereTheImageLeavesTheFlashBlank) {
    const FirmwareImage image =
        Image({{0x100, {0x12, 0x34, 0xFF, 0xFF, 0xFF, 0xFF, 0x56}, "line 1"}});
    EXPECT_EQ("", SerialPlaceProblem(image, At(0x102)));    // 0xFF in the image
    EXPECT_EQ("", SerialPlaceProblem(image, At(0x7FF00)));  // past the image's end
    EXPECT_EQ("", SerialPlaceProblem(image, At(0x7FFFC)));  // the user MAT's last bytes

    const std::string over = SerialPlaceProblem(image, At(0xFF));
    EXPECT_NE(std::string::npos, over.find("0x000000FF")) << over;
    EXPECT_NE(std::string::npos, over.find("0xFF 0x12 0x34 0xFF")) << over;
    EXPECT_NE("", SerialPlaceProblem(image, At(0x103)));  // its last byte on 0x56

    const std::string past = SerialPlaceProblem(image, At(0x7FFFE));
    EXPECT_NE(std::string::npos, past.find("user MAT")) << past;
    EXPECT_NE("", SerialPlaceProblem(image, At(0xFFFFFFFF, "ascii:10")));
}

TEST(SerialNumber, LeavesTheRestOfTheImageAsItIs) {
    const FirmwareImage image = Image({{0x0, std::vector<uint8_t>(200, 0x5A), "line 1"}});
    const FirmwareImage own = ImageWithSerial(image, At(0x1000), 0x01020304);
    ASSERT_EQ(0x1080u, own.bytes.size());  // grown to the block that holds the number
    EXPECT_TRUE(std::equal(image.bytes.begin(), image.bytes.end(), own.bytes.begin()));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4}),
              std::vector<uint8_t>(own.bytes.begin() + 0x1000, own.bytes.begin() + 0x1004));
    EXPECT_EQ(std::vector<uint8_t>(0x1000 - 256, 0xFF),
              std::vector<uint8_t>(own.bytes.begin() + 256, own.bytes.begin() + 0x1000));
    ASSERT_EQ(2u, own.data.size());
    EXPECT_EQ(0x1000u, own.data[1].first);
    EXPECT_EQ(0x1003u, own.data[1].last);
    EXPECT_EQ(image.data.size(), 1u);  // the shared image is untouched

    // The sum of the whole user MAT counts the number's bytes instead of four erased ones.
    EXPECT_EQ(UserMatSum(image) - 4 * 0xFF + 1 + 2 + 3 + 4, UserMatSum(own));
}

}  // namespace
