// Why an operation failed, as the module records it where it fails: each cause against a scripted
// board, in virtual time.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "bootmode/boot_protocol.h"
#include "bootmode/mod_update_1527.h"
#include "image/srec_reader.h"
#include "support/scripted_link.h"

namespace {

using Bytes = std::vector<uint8_t>;

// One block of data at address 0.
const char kFirmware[] =
    "S1130000000102030405060708090A0B0C0D0E0F74\n"
    "S9030000FC\n";

struct Session {
    Session() {
        auto scripted = std::make_unique<ScriptedLink>();
        link = scripted.get();
        module.reset(new ModUpdate1527(std::move(scripted), std::make_unique<VirtualClock>()));
    }

    // The operations in the update run's order up to the first that fails; true when none does.
    bool Run(SRECReader& image) {
        ModUpdate1527& m = *module;
        DeviceList devices;
        std::vector<uint16_t> modes;
        if (!m.OpenCom("scripted") || !m.SetBootMode(false) || !m.ConnectApprove() ||
            !m.InquireDevices(devices) || !m.InquireProgrammingModes(modes) ||
            devices.entries.empty() || !m.SelectDevice(devices.entries[0]) ||
            !m.SetClockMode(kDefaultClockMode)) {
            return false;
        }
        uint8_t bitRate[kBitRateParameterBlock] = {};
        std::memcpy(bitRate, kProgrammingBitRateParameters, sizeof kProgrammingBitRateParameters);
        return m.SelectBPS(bitRate) && m.ChangeBPS(kProgrammingBitRate) && m.ConfirmBPS() &&
               m.SetProgrammingMode() && m.ProgrammingSequence(&image) && m.Reboot();
    }

    ScriptedLink* link;  // owned by the module
    std::unique_ptr<ModUpdate1527> module;
};

struct FailureCase {
    const char* name;
    void (*arrange)(Session&);
    Step step;
    FailureCause cause;
    const char* description;
};

const FailureCase kCases[] = {
    {"port not opened",
     [](Session& s) {
         s.link->failingOpening = 1;
         s.link->openProblem = {PortProblem::NoSuchPort, ""};
     },
     Step::ConnectTest, FailureCause::PortNotOpened, "the port cannot be opened"},
    {"stopped", [](Session& s) { s.module->Interrupt(); }, Step::ConnectTest, FailureCause::Stopped,
     "stopped on request before the next frame"},
    {"reader that never starts", [](Session& s) { s.link->silentOpening = 2; }, Step::BootMode,
     FailureCause::TimeBound, "the port did not come back after the connection test"},
    {"matching unanswered", [](Session& s) { s.link->replies.erase(0x00); }, Step::Approval,
     FailureCause::NoAnswer,
     "the board did not answer the bit-rate matching (30 bytes 0x00 at 9600 bps): check the "
     "board's power, its boot-mode pins, the cable and the port"},
    {"handshake refused", [](Session& s) { s.link->replies[0x55] = {0x15}; }, Step::Approval,
     FailureCause::Refused, "the board answered the handshake 0x55 with 0x15, not 0xE6"},
    {"device reply cut short",
     [](Session& s) {
         s.link->replies[0x20] = {0x30, 0x50, 0x01};
     },
     Step::SupportModeCheck, FailureCause::MalformedReply,
     "supported device inquiry (0x20) was answered 0x30 0x50 0x01"},
    {"device selection refused",
     [](Session& s) {
         s.link->replies[0x10] = {0x90, 0x21};
     },
     Step::DeviceSelection, FailureCause::Refused,
     "device selection (0x10) was answered 0x90 0x21: device code error"},
    {"link lost", [](Session& s) { s.link->vanishOn = 0x11; }, Step::ClockModeSet,
     FailureCause::LinkLost, "the port's device went away"},
    {"rate the port refuses",
     [](Session& s) {
         s.link->failingOpening = 4;
         s.link->openProblem = {PortProblem::RateRefused, "the driver refused it"};
     },
     Step::ChangingBitRate, FailureCause::PortNotOpened, "the port did not reopen at 38400 bps"},
    {"confirmation unanswered", [](Session& s) { s.link->replies.erase(0x06); },
     Step::ConfirmBitRate, FailureCause::NoAnswer,
     "the board did not confirm the new bit rate: no ACK to 0x06 at 38400 bps"},
    {"erase past its bound", [](Session& s) { s.link->replies.erase(0x40); }, Step::ProgrammingMode,
     FailureCause::TimeBound,
     "no ACK to the programming/erasing state transition (0x40) within 3 s: the erase ran past "
     "its bound"},
    {"status with an error",
     [](Session& s) {
         s.link->replies[0x4F] = {0x5F, 0x02, 0x3F, 0x53, 0x0D};
     },
     Step::ProgrammingMode, FailureCause::Refused,
     "the boot program status inquiry (0x4F) reported status 0x3F and error 0x53: programming "
     "error, not status 0x3F without error"},
    {"block unanswered", [](Session& s) { s.link->replies.erase(0x50); }, Step::Programming,
     FailureCause::NoAnswer, "no answer to the block at 0x00000000"},
};

// Failures name the case, not its bytes.
void PrintTo(const FailureCase& failureCase, std::ostream* out) {
    *out << failureCase.name;
}

class StepFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(StepFailureTest, IsRecordedWhereTheOperationFails) {
    const FailureCase& expected = GetParam();
    SRECReader image;
    ASSERT_TRUE(image.Parse(kFirmware, static_cast<int>(sizeof kFirmware - 1)));
    Session session;
    expected.arrange(session);
    ASSERT_FALSE(session.Run(image)) << expected.name;
    const StepFailure& failure = session.module->Failure();
    EXPECT_EQ(StepNumber(expected.step), StepNumber(failure.step)) << expected.name;
    EXPECT_EQ(static_cast<int>(expected.cause), static_cast<int>(failure.cause)) << expected.name;
    EXPECT_EQ(expected.description, failure.description) << expected.name;
}

INSTANTIATE_TEST_SUITE_P(EachCause, StepFailureTest, testing::ValuesIn(kCases));

TEST(StepFailure, KeepsTheFrameTheReplyAndThePortsProblem) {
    SRECReader image;
    ASSERT_TRUE(image.Parse(kFirmware, static_cast<int>(sizeof kFirmware - 1)));
    Session refused;
    refused.link->replies[0x11] = {0x91, 0x22};
    ASSERT_FALSE(refused.Run(image));
    EXPECT_EQ((Bytes{0x11, 0x01, 0x00, 0xEE}), refused.module->Failure().sent);
    EXPECT_EQ((Bytes{0x91, 0x22}), refused.module->Failure().reply);

    Session unopened;
    unopened.link->failingOpening = 2;
    unopened.link->openProblem = {PortProblem::Busy, ""};
    ASSERT_FALSE(unopened.Run(image));
    EXPECT_EQ(PortProblem::Busy, unopened.module->Failure().portProblem.kind);
    // Nothing was sent since the port was last opened.
    EXPECT_TRUE(unopened.module->Failure().sent.empty());
}

TEST(StepFailure, AWholeRunLeavesNoFailureAndEachOperationStartsAfresh) {
    SRECReader image;
    ASSERT_TRUE(image.Parse(kFirmware, static_cast<int>(sizeof kFirmware - 1)));
    Session session;
    EXPECT_TRUE(session.Run(image));
    EXPECT_EQ(FailureCause::None, session.module->Failure().cause);

    Session early;
    EXPECT_FALSE(early.module->SetBootMode(false));
    EXPECT_EQ(FailureCause::NotStarted, early.module->Failure().cause);
    EXPECT_TRUE(early.module->OpenCom("scripted"));
    EXPECT_EQ(FailureCause::None, early.module->Failure().cause);
    EXPECT_EQ(Step::ConnectTest, early.module->Failure().step);
}

}  // namespace
