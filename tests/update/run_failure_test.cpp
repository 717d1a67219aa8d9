// The failures an update run decides itself, and the module's that it carries, against a scripted
// board in virtual time.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bootmode/firmware_image.h"
#include "bootmode/mod_update_1527.h"
#include "image/srec_reader.h"
#include "support/scripted_link.h"
#include "update/operator.h"
#include "update/update_thread.h"

namespace {

// One block of data at address 0.
const char kFirmware[] =
    "S1130000000102030405060708090A0B0C0D0E0F74\n"
    "S9030000FC\n";

RunOutcome RunOn(std::unique_ptr<ScriptedLink> link, bool verify) {
    SRECReader reader;
    EXPECT_TRUE(reader.Parse(kFirmware, static_cast<int>(sizeof kFirmware - 1)));
    ModUpdate1527 module(std::move(link), std::make_unique<VirtualClock>());
    NullOperator nobody;
    UpdateJob job;
    job.portName = L"scripted";
    job.image = std::make_shared<const FirmwareImage>(LayFirmwareImage(reader));
    job.options.verify = verify;
    UpdateThread run(module, nobody, job);
    EXPECT_TRUE(run.Start(0));
    run.WaitUntilFinished();
    return run.Outcome();
}

TEST(RunFailure, NoSupportedDeviceIsTheRunsOwnAtTheDeviceChoice) {
    auto link = std::make_unique<ScriptedLink>();
    link->replies[0x20] = DeviceListReply("H8SX 1527R(50MHz)");
    const RunOutcome outcome = RunOn(std::move(link), false);
    EXPECT_EQ(RunEnd::StepFailed, outcome.end);
    EXPECT_EQ(Step::SupportModeCheck, outcome.step);
    EXPECT_EQ(Step::SupportModeCheck, outcome.failure.step);
    EXPECT_EQ(FailureCause::NoSupportedDevice, outcome.failure.cause);
    EXPECT_EQ("the board lists no device named H8SX 1520R(40MHz)", outcome.failure.description);
}

TEST(RunFailure, AnImageOutsideTheReportedUserMatDoesNotFit) {
    auto link = std::make_unique<ScriptedLink>();
    // One area, 0x1000 to 0x3FFFF: the image at 0 lies outside it.
    link->replies[0x25] =
        WithSum({0x35, 0x09, 0x01, 0x00, 0x00, 0x10, 0x00, 0x00, 0x03, 0xFF, 0xFF});
    const RunOutcome outcome = RunOn(std::move(link), true);
    EXPECT_EQ(Step::DeviceSelection, outcome.step);
    EXPECT_EQ(FailureCause::ImageDoesNotFit, outcome.failure.cause);
}

TEST(RunFailure, TheModulesFailureComesWithTheStepItFailedAt) {
    auto link = std::make_unique<ScriptedLink>();
    link->replies[0x27] = {0xA7, 0x80};
    const RunOutcome outcome = RunOn(std::move(link), false);
    EXPECT_EQ(Step::ProgrammingModeInquiry, outcome.step);
    EXPECT_EQ(Step::ProgrammingModeInquiry, outcome.failure.step);
    EXPECT_EQ(FailureCause::Refused, outcome.failure.cause);
    EXPECT_EQ("programming mode inquiry (0x27) was answered 0xA7 0x80: command error",
              outcome.failure.description);
}

}  // namespace
