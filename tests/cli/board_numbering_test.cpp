// The boards of one write numbered in port order, each in its own image, with and without a
// record: the next write going on from the record, and numbers that were handed out and not
// programmed never handed out again.
#include "cli/board_numbering.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/data_piece.h"

namespace {

const uint32_t kPlace = 0x7FF00;

class BoardNumberingTest : public testing::Test {
protected:
    void SetUp() override {
        path_ = testing::TempDir() + "velmora-numbering-" +
                testing::UnitTest::GetInstance()->current_test_info()->name() + ".sqlite";
        std::remove(path_.c_str());
        std::string problem;
        store_ = OpenRecordStore(path_, RecordAccess::Write, problem);
        ASSERT_TRUE(store_) << problem;
        ASSERT_EQ("", store_->Prepare());
        plan_.serial = SerialLayout();
        plan_.serial->address = kPlace;
        plan_.start.firmware = "fw.mot";
    }
    void TearDown() override {
        store_.reset();
        std::remove(path_.c_str());
    }

    std::vector<RunRecord> Rows() {
        std::vector<RunRecord> rows;
        EXPECT_EQ("", store_->Read(HistoryFilter(), rows));
        return rows;
    }

    std::string Number(const std::vector<std::string>& ports,
                       std::vector<BoardIdentity>& identities) {
        return NumberBoards(ports, std::vector<std::string>(ports.size()), image_, plan_,
                            store_.get(), identities);
    }

    std::string path_;
    std::unique_ptr<RecordStore> store_;
    NumberingPlan plan_;
    std::shared_ptr<const FirmwareImage> image_ = std::make_shared<const FirmwareImage>(
        LayFirmwareImage(std::vector<DataPiece>{{0, std::vector<uint8_t>(300, 0x11), "line 1"}}));
};

uint32_t NumberIn(const FirmwareImage& image) {
    const uint8_t* at = image.bytes.data() + kPlace;
    return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}

TEST_F(BoardNumberingTest, WithoutARecordCountsOnFromTheStartInPortOrder) {
    plan_.serialStart = 41;
    std::vector<BoardIdentity> identities;
    ASSERT_EQ("", NumberBoards({"b", "a", "c"}, {"", "", ""}, image_, plan_, nullptr, identities));
    ASSERT_EQ(3u, identities.size());
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(41 + i, identities[i].serial.value_or(0));
        EXPECT_EQ(41 + i, NumberIn(*identities[i].image));
        EXPECT_FALSE(identities[i].ticket);
    }
}

TEST_F(BoardNumberingTest, TheNextWriteGoesOnFromTheRecord) {
    plan_.serialStart = 5012;
    std::vector<BoardIdentity> first;
    ASSERT_EQ("", Number({"/dev/ttyUSB1", "/dev/ttyUSB0"}, first));
    plan_.serialStart.reset();
    std::vector<BoardIdentity> next;
    ASSERT_EQ("", Number({"/dev/ttyUSB0"}, next));

    EXPECT_EQ(5012u, NumberIn(*first[0].image));
    EXPECT_EQ(5013u, NumberIn(*first[1].image));
    EXPECT_EQ(5014u, NumberIn(*next[0].image));
    const std::vector<RunRecord> rows = Rows();
    ASSERT_EQ(3u, rows.size());
    EXPECT_EQ("/dev/ttyUSB1", rows[0].start.port);
    EXPECT_EQ(5013u, rows[1].serial.value_or(0));
    // Each row's sum is its own board's image's, with its number in it.
    EXPECT_EQ(UserMatSum(*first[1].image), rows[1].start.imageSum);
    EXPECT_NE(rows[0].start.imageSum, rows[1].start.imageSum);
    EXPECT_FALSE(rows[2].finish);  // finished when its run ends

    RunOutcome outcome;
    outcome.step = Step::Programming;
    outcome.seconds = 2.5;
    const RunConclusion failed = WithSerial({21, true, "step [11] failed: NAK"}, 5014);
    EXPECT_EQ("step [11] failed: NAK (serial 5014)", failed.text);
    ASSERT_EQ("", store_->Finish(*next[0].ticket, FinishedRun(failed, outcome)));
    const RunRecord row = Rows()[2];
    ASSERT_TRUE(row.finish);
    EXPECT_FALSE(row.finish->ok);
    EXPECT_EQ(11, row.finish->step);
    EXPECT_EQ(failed.text, row.finish->message);

    // A failed board's number stays used.
    ASSERT_EQ("", Number({"/dev/ttyUSB0"}, next));
    EXPECT_EQ(5015u, next[0].serial.value_or(0));
}

TEST_F(BoardNumberingTest, ANumberThatDoesNotFitIsNeverProgrammedNorHandedOutAgain) {
    plan_.serial->form = SerialForm::Decimal;
    plan_.serial->digits = 2;
    plan_.serialStart = 98;
    std::vector<BoardIdentity> identities;
    const std::string problem = Number({"a", "b", "c"}, identities);
    EXPECT_NE(std::string::npos, problem.find("100")) << problem;

    // Both rows with numbers are finished as not programmed.
    const std::vector<RunRecord> rows = Rows();
    ASSERT_EQ(3u, rows.size());
    for (const RunRecord& row : rows) {
        ASSERT_TRUE(row.finish) << row.serial.value_or(0);
        EXPECT_FALSE(row.finish->ok);
        EXPECT_EQ(8, row.finish->exitCode);
    }

    // Without a number to give, no row is written.
    plan_.serialStart.reset();
    plan_.serial->address = 0x100;
    EXPECT_NE("", Number({"a"}, identities));
    EXPECT_EQ(3u, Rows().size());
}

}  // namespace
