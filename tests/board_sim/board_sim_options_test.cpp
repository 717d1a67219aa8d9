// The simulator's command line: help, refusals with a message, and a link path it must not take.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "board_sim/host_session.h"

namespace {

TEST(BoardSimOptionsTest, HelpExitsCleanly) {
    std::string errors;
    EXPECT_EQ(RunSimToEnd({"--help"}, &errors), 0);
    EXPECT_TRUE(errors.empty());
}

TEST(BoardSimOptionsTest, RefusesBadOptionsWithAMessage) {
    const std::string link = TestDirectory() + "/port";
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--link"},
        {"--link", link, "--bogus"},
        {"--link", link, "--match-on", "0"},
        {"--link", link, "--match-on", "-3"},
        {"--link", link, "--erase-time", "soon"},
        {"--link", link, "--erase-time", "601"},
        {"--link", link, "--handshake-reply", "0x100"},
        {"--link", link, "--reject-command", "0x20"},
        {"--link", link, "--block-nak", "2"},
        {"--link", link, "--vanish-after-matching", "0"},
        {"--link", link, "--block-nak", "2:0x15", "--block-silent", "2"},
        {"--link", link, "--program-time", "fast"},
        {"--link", link, "--program-time", "10001"},
        {"--link", link, "--wrong-byte", "0x80000"},
        {"--link", link, "--wrong-byte", "-1"},
        {"--link", link, "--wrong-byte", "0x40000", "--user-mat-size", "0x40000"},
        {"--link", link, "--user-mat-size", "100"},
        {"--link", link, "--user-mat-split", "0x80000"},
        {"--link", link, "--swap-bytes", "0x7F"},
        {"--link", link, "--bad-reply-sum", "0x20"},
        {"--link", link, "--devices", "many"},
        {"--link", link, "--device", "0102030:short code"},
        {"--link", link, "--device", "010203zz:bad hex"},
        {"--link", link, "--mute=yes"},
        {"--link", link, "--reboot-unopenable"},
        {"--link", link, "--reply-latency", "1001"},
        {"--link", link, "--reply-latency", "-1"},
        {"--link", link, "--reply-latency", "soon"},
        {"--link", link, "--refuse-bps", "0"},
        {"--link", link, "--refuse-bps", "76850"},
        {"--link", link, "--refuse-bps", "6553600"},
        {"--link", link, "--refuse-bps", "fast"},
    };
    for (const auto& arguments : cases) {
        std::string errors;
        std::string shown;
        for (const std::string& argument : arguments) {
            shown += argument + " ";
        }
        EXPECT_EQ(RunSimToEnd(arguments, &errors), 2) << shown;
        EXPECT_NE(errors.find("velmora-board-sim: "), std::string::npos) << shown;
        struct stat info;
        EXPECT_NE(lstat(link.c_str(), &info), 0) << shown;
    }
}

TEST(BoardSimOptionsTest, RefusesADeviceListTooLongForTheReply) {
    std::vector<std::string> arguments{"--link", TestDirectory() + "/port"};
    for (int i = 0; i < 12; ++i) {
        arguments.insert(arguments.end(), {"--device", "01020304:H8SX 1520R(40MHz) variant"});
    }
    std::string errors;
    EXPECT_EQ(RunSimToEnd(arguments, &errors), 2);
    EXPECT_NE(errors.find("size byte"), std::string::npos) << errors;
}

TEST(BoardSimOptionsTest, LeavesAFileAtTheLinkPathAlone) {
    const std::string path = TestDirectory() + "/port";
    std::ofstream(path) << "not a link";
    std::string errors;
    EXPECT_EQ(RunSimToEnd({"--link", path, "--log", path + ".log"}, &errors), 1);
    EXPECT_NE(errors.find("not a symbolic link"), std::string::npos) << errors;
    std::ifstream in(path);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "not a link");
}

}  // namespace
