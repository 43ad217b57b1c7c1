// SPDX-License-Identifier: GPL-3.0-or-later
#include "cut_engine.h"
#include "mp3_fixture.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

using namespace sundrel;
using namespace sundrel::test;
using Sizes = std::array<std::string, 3>;
using Bytes = std::vector<std::int64_t>;

namespace {

class SplitPlan : public ::testing::Test {
protected:
    void SetUp() override {
        source = folder / "song.mp3";
        std::ofstream(source, std::ios::binary).put('x');
        std::filesystem::resize_file(source, 10'000'000);  // sparse: only its size matters here
        cut.SourceLen = 10'000'000;
        cut.SegBytes = {7, 7, 7};  // left over from an earlier plan
        cut.SegLast = 2;
    }
    bool Plan(Sizes& sizes) { return CheckSplit(cut, folder.Path(), source, sizes); }

    TempFolder folder;
    std::string source;
    CutState cut;
};

TEST_F(SplitPlan, LastZeroFieldTakesTheRestAndShowsItsSize) {
    Sizes sizes{"1000", "200", "0"};
    EXPECT_TRUE(Plan(sizes));
    EXPECT_EQ(cut.SegLast, 2);
    EXPECT_EQ(cut.SegBytes, (Bytes{1'024'000, 204'800, 8'771'200}));
    EXPECT_EQ(sizes, (Sizes{"1000", "200", "8565.6"}));
}

TEST_F(SplitPlan, StartAndLengthFromPlayback) {
    Sizes sizes{"976.56", "195.312", "0"};
    EXPECT_TRUE(Plan(sizes));
    EXPECT_EQ(cut.SegBytes, (Bytes{999'997, 199'999, 8'800'004}));
    EXPECT_EQ(sizes, (Sizes{"976.56", "195.312", "8593.8"}));
}

TEST_F(SplitPlan, ThreeFittingFieldsLeaveTheRestInNoPiece) {
    Sizes sizes{"1000", "200", "300"};
    EXPECT_TRUE(Plan(sizes));
    EXPECT_EQ(cut.SegBytes, (Bytes{1'024'000, 204'800, 307'200}));
    EXPECT_EQ(sizes, (Sizes{"1000", "200", "300"}));
}

TEST_F(SplitPlan, ZeroFieldsMoveToTheEnd) {
    Sizes sizes{"0", "200", "0"};
    EXPECT_TRUE(Plan(sizes));
    EXPECT_EQ(cut.SegLast, 1);
    EXPECT_EQ(cut.SegBytes, (Bytes{204'800, 9'795'200}));  // the table shrinks with the plan
    EXPECT_EQ(sizes, (Sizes{"200", "9565.6", "0"}));

    // Position 0 is not looked at again, so a leading "0" can stay: no piece.
    Sizes twoZeros{"0", "0", "5"};
    EXPECT_FALSE(Plan(twoZeros));
    EXPECT_EQ(twoZeros, (Sizes{"0", "5", "0"}));
    EXPECT_EQ(cut.SegLast, -1);
}

TEST_F(SplitPlan, OnlyTheExactTextZeroIsSkipped) {
    Sizes sizes{"1000", "0.0", "0"};
    EXPECT_TRUE(Plan(sizes));
    EXPECT_EQ(cut.SegBytes, (Bytes{1'024'000, 0, 8'976'000}));
    EXPECT_EQ(sizes, (Sizes{"1000", "0.0", "8765.6"}));
}

TEST_F(SplitPlan, FirstFieldNotSmallerThanTheFileGivesNoPiece) {
    Sizes sizes{"20000", "200", "0"};
    EXPECT_FALSE(Plan(sizes));
    EXPECT_EQ(cut.SegLast, -1);
    EXPECT_EQ(sizes, (Sizes{"20000", "200", "0"}));
}

TEST_F(SplitPlan, NegativeLengthGrowsWhatIsLeft) {
    Sizes sizes{"1000", "-200", "0"};
    EXPECT_TRUE(Plan(sizes));
    EXPECT_EQ(cut.SegBytes, (Bytes{1'024'000, -204'800, 9'180'800}));
    EXPECT_EQ(sizes[2], "8965.6");
}

TEST_F(SplitPlan, FailedChecksTouchNeitherFieldsNorTable) {
    Sizes letters{"0", "abc", "0"};
    EXPECT_FALSE(Plan(letters));
    EXPECT_EQ(letters, (Sizes{"0", "abc", "0"}));

    Sizes sizes{"0", "200", "0"};
    EXPECT_FALSE(CheckSplit(cut, folder / "missing/", source, sizes));
    EXPECT_FALSE(CheckSplit(cut, "", source, sizes));
    EXPECT_FALSE(CheckSplit(cut, folder.Path(), folder / "missing.mp3", sizes));
    std::filesystem::create_directory(folder / "album.mp3");
    EXPECT_FALSE(CheckSplit(cut, folder.Path(), folder / "album.mp3", sizes));  // a folder is no song
    WriteBytes(folder / ".hidden.mp3", "x");
    EXPECT_FALSE(CheckSplit(cut, folder.Path(), folder / ".hidden.mp3", sizes));

    EXPECT_EQ(sizes, (Sizes{"0", "200", "0"}));
    EXPECT_EQ(cut.SegLast, 2);
    EXPECT_EQ(cut.SegBytes, (Bytes{7, 7, 7}));
}

TEST_F(SplitPlan, DestinationMayLackItsSlashOrBeAFile) {
    const std::string folderWithoutSlash = folder.Path().substr(0, folder.Path().size() - 1);
    Sizes sizes{"1000", "200", "0"};
    EXPECT_TRUE(CheckSplit(cut, folderWithoutSlash, source, sizes));
    sizes = {"1000", "200", "0"};
    EXPECT_TRUE(CheckSplit(cut, source, source, sizes));
}

TEST_F(SplitPlan, SizesPastSixtyFourBitsFailWithoutATable) {
    Sizes huge{"1000", "1e16", "0"};
    EXPECT_FALSE(Plan(huge));
    Sizes pastFloat{"1000", "1e39", "0"};
    EXPECT_FALSE(Plan(pastFloat));
    EXPECT_EQ(cut.SegLast, 2);
    EXPECT_EQ(cut.SegBytes, (Bytes{7, 7, 7}));

    // Zero removal already happened and stays.
    Sizes moved{"0", "1e16", "0"};
    EXPECT_FALSE(Plan(moved));
    EXPECT_EQ(moved, (Sizes{"1e16", "0", "0"}));
}

TEST_F(SplitPlan, OverflowingSubtractionFails) {
    cut.SourceLen = 2'000'000'000'000'000'000;
    Sizes sizes{"1000", "-8e15", "0"};  // -8.192e18 bytes: the rest would pass 2^63
    EXPECT_FALSE(Plan(sizes));
    EXPECT_EQ(cut.SegBytes, (Bytes{7, 7, 7}));
}

TEST(SplitPlanLarge, SourcePastFourGigabytesPlansIn64Bits) {
    TempFolder folder;
    const std::string source = folder / "long.mp3";
    std::ofstream(source, std::ios::binary).put('x');
    const std::int64_t length = (3LL << 30) + 123;
    std::filesystem::resize_file(source, static_cast<std::uintmax_t>(length));  // sparse, nothing written

    CutState cut;
    cut.SourceLen = FileLength(source).value_or(0);
    ASSERT_EQ(cut.SourceLen, length);
    Sizes sizes{"3000000", "40000", "0"};
    ASSERT_TRUE(CheckSplit(cut, folder.Path(), source, sizes));
    const std::int64_t rest = length - 3'072'000'000 - 40'960'000;
    EXPECT_EQ(cut.SegBytes, (Bytes{3'072'000'000, 40'960'000, rest}));
    EXPECT_EQ(sizes[2], BytesToKbText(rest, '.'));
    EXPECT_EQ(sizes[2], "105728.1");
}

}  // namespace

namespace {

// One cut, one table: the song's frames when they hold the selection, the
// split plan's otherwise; the split plan's tidying of the fields either way.
TEST(CutPlan, OneTableTheFramesOrTheSplitPlans) {
    TempFolder folder;
    const std::string source = folder / "song.mp3";
    WriteBytes(source, FramedBytes(1'000'000));  // 417-byte frames of 1152 samples at 44.1 kHz
    CutState cut;
    cut.SourceLen = 1'000'000;
    cut.SourceMap = MapSong(source, ReadSongFile(source)).value();
    const KeptPiece kept = cut.SourceMap.Kept(10, 12).value();

    Sizes sizes{"0.0", "20", "0"};
    const CutPlan framed = PlanCut(cut, folder.Path(), source, sizes, Selection{10, 12});
    EXPECT_TRUE(framed.Split && framed.Kept);
    EXPECT_EQ(cut.SegLast, 2);
    EXPECT_EQ(cut.SegBytes, (Bytes{kept.Begin(), kept.End() - kept.Begin(), 1'000'000 - kept.End()}));
    EXPECT_EQ(cut.KeptHeader, kept.Header);
    EXPECT_EQ(sizes, (Sizes{"0.0", "20", "956.6"}));

    // No selection, or one shorter than a frame: the split plan's table.
    for (const std::optional<Selection> selection : {std::optional<Selection>(), std::optional(Selection{10, 10.01})}) {
        sizes = {"100", "20", "0"};
        const CutPlan split = PlanCut(cut, folder.Path(), source, sizes, selection);
        EXPECT_TRUE(split.Split);
        EXPECT_FALSE(split.Kept);
        EXPECT_EQ(cut.SegBytes, (Bytes{102'400, 20'480, 877'120}));
        EXPECT_EQ(sizes, (Sizes{"100", "20", "856.6"}));
    }

    cut.SegBytes = {7, 7, 7};
    const CutPlan none = PlanCut(cut, folder / "missing/", source, sizes, Selection{10, 12});
    EXPECT_FALSE(none.Split || none.Kept);
    EXPECT_EQ(cut.SegBytes, (Bytes{7, 7, 7}));
}

}  // namespace
