// SPDX-License-Identifier: GPL-3.0-or-later
#include "cut_engine.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace sundrel;
using namespace sundrel::test;
namespace fs = std::filesystem;
using Sizes = std::array<std::string, 3>;

namespace {

class PieceWriter : public ::testing::Test {
protected:
    // A source of `length` pattern bytes in the test folder, cut into rings/.
    void MakeSource(std::int64_t length, const std::string& folderName = "", const std::string& name = "song.mp3") {
        const std::string songFolder = folder / folderName;
        fs::create_directories(songFolder);
        fs::create_directories(folder / "rings");
        cut.SourcePath = songFolder + (folderName.empty() ? "" : "/") + name;
        cut.SourceName = name;
        cut.DestDir = folder / "rings/";
        WriteBytes(cut.SourcePath, Pattern(0, length));
        cut.SourceLen = length;
    }
    void Plan(Sizes sizes) { ASSERT_TRUE(CheckSplit(cut, cut.DestDir, cut.SourcePath, sizes)); }
    void SetPieces(std::vector<std::int64_t> bytes) {
        cut.SegLast = static_cast<int>(bytes.size()) - 1;
        cut.SegBytes = std::move(bytes);
    }
    std::string Piece(int i) const { return PieceName(cut, i); }
    std::int64_t SizeOf(int i) const { return FileLength(Piece(i)).value_or(-1); }
    std::vector<std::string> FilesIn(const std::string& dir) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> RingFiles() const { return FilesIn(cut.DestDir); }

    TempFolder folder;
    CutState cut;
};

TEST_F(PieceWriter, WritesEachPieceAndKeepsOnlyTheSelection) {
    MakeSource(10'000'000);
    Plan({"1000", "200", "0"});
    const WrittenPieces written = WritePieces(cut);
    ASSERT_TRUE(written.Kept);
    EXPECT_EQ(SizeOf(0), 1'024'000);
    EXPECT_EQ(SizeOf(1), 204'800);
    EXPECT_EQ(SizeOf(2), 8'771'200);
    EXPECT_TRUE(ReadBytes(Piece(0)) == Pattern(0, 1'024'000));
    EXPECT_TRUE(ReadBytes(Piece(1)) == Pattern(1'024'000, 204'800));

    EXPECT_TRUE(RemoveOuterPieces(written));
    EXPECT_EQ(RingFiles(), std::vector<std::string>{"[铃声]1song.mp3"});
    EXPECT_TRUE(ReadBytes(cut.SourcePath) == Pattern(0, 10'000'000));
}

TEST_F(PieceWriter, EventPassRunsBeforeEachWholeBlockOnly) {
    MakeSource(10'000);
    SetPieces({1122, 1121, 2 * 1122 + 5});
    int passes = 0;
    ASSERT_TRUE(WritePieces(cut, [&] { return ++passes, true; }).Kept);
    EXPECT_EQ(passes, 3);
    EXPECT_TRUE(ReadBytes(Piece(1)) == Pattern(1122, 1121));
    EXPECT_EQ(SizeOf(2), 2 * 1122 + 5);
}

TEST_F(PieceWriter, TwoPiecePlanLeavesNothingToRemoveAtTwo) {
    MakeSource(50'000);
    Plan({"10", "0", "0"});
    ASSERT_EQ(cut.SegLast, 1);
    const WrittenPieces written = WritePieces(cut);
    ASSERT_TRUE(written.Kept);
    EXPECT_TRUE(RemoveOuterPieces(written));
    EXPECT_EQ(RingFiles(), std::vector<std::string>{"[铃声]1song.mp3"});
    EXPECT_TRUE(ReadBytes(Piece(1)) == Pattern(10'240, 50'000 - 10'240));
}

TEST_F(PieceWriter, DestinationWithoutSlashNamesFilesBesideIt) {
    MakeSource(20'000);
    cut.DestDir = folder / "rings";
    SetPieces({100, 200});
    ASSERT_TRUE(WritePieces(cut).Kept);
    EXPECT_EQ(Piece(1), folder / "rings[铃声]1song.mp3");
    EXPECT_TRUE(ReadBytes(folder / "rings[铃声]1song.mp3") == Pattern(100, 200));
}

TEST_F(PieceWriter, ChineseNamesWithBlanks) {
    MakeSource(300'000, "我的 音乐", "铃声测试 歌曲.mp3");
    cut.DestDir = folder / "我的 音乐/";
    Plan({"100", "50", "0"});
    EXPECT_TRUE(RemoveOuterPieces(WritePieces(cut)));
    EXPECT_EQ(FilesIn(cut.DestDir), (std::vector<std::string>{"[铃声]1铃声测试 歌曲.mp3", "铃声测试 歌曲.mp3"}));
    EXPECT_TRUE(ReadBytes(cut.DestDir.string() + "[铃声]1铃声测试 歌曲.mp3") == Pattern(102'400, 51'200));
}

TEST_F(PieceWriter, ZeroAndNegativePiecesReadNothing) {
    MakeSource(5000);
    SetPieces({0, 700, 0});
    ASSERT_TRUE(WritePieces(cut).Kept);
    EXPECT_TRUE(ReadBytes(Piece(1)) == Pattern(0, 700));
    EXPECT_EQ(SizeOf(2), 0);

    // End before Start: an empty kept file; piece 2 runs past the end of the
    // source, which costs nothing once the kept piece is whole.
    MakeSource(10'000'000);
    Plan({"1000", "-200", "0"});
    ASSERT_TRUE(WritePieces(cut).Kept);
    EXPECT_EQ(SizeOf(1), 0);
    EXPECT_EQ(SizeOf(2), 10'000'000 - 1'024'000);
}

TEST_F(PieceWriter, PieceOfMoreThan32767BlocksIsWhole) {
    MakeSource(40'000'000);
    Plan({"1", "37000", "0"});
    ASSERT_EQ(cut.SegBytes[1], 37'888'000);
    ASSERT_TRUE(WritePieces(cut).Kept);
    EXPECT_TRUE(ReadBytes(Piece(1)) == Pattern(1024, 37'888'000));
}

TEST_F(PieceWriter, SourceThatShrinksDuringTheCutFailsAndLeavesNoPiece) {
    MakeSource(10'000'000);
    Plan({"1000", "200", "0"});
    WriteBytes(cut.DestDir.string() + "other.mp3", "keep me");
    bool shrunk = false;
    const auto shrink = [&] {
        if (!shrunk) fs::resize_file(cut.SourcePath, 1'100'000);  // inside the selection
        shrunk = true;
        return true;
    };
    EXPECT_FALSE(WritePieces(cut, shrink).Kept);
    EXPECT_EQ(RingFiles(), std::vector<std::string>{"other.mp3"});
}

TEST_F(PieceWriter, SourceShorterThanItsStaleLengthFails) {
    MakeSource(10'000'000);
    Plan({"1000", "200", "0"});
    fs::resize_file(cut.SourcePath, 900'000);  // before the selection even starts
    EXPECT_FALSE(WritePieces(cut).Kept);
    EXPECT_TRUE(RingFiles().empty());

    // Ending inside the rest of the file leaves the selection whole.
    MakeSource(10'000'000);
    Plan({"1000", "200", "0"});
    fs::resize_file(cut.SourcePath, 2'000'000);
    EXPECT_TRUE(WritePieces(cut).Kept);
    EXPECT_TRUE(ReadBytes(Piece(1)) == Pattern(1'024'000, 204'800));
}

TEST_F(PieceWriter, AbandonedCutRemovesOnlyWhatItOpened) {
    MakeSource(10'000'000);
    Plan({"1000", "200", "0"});
    WriteBytes(Piece(2), "from an earlier cut");  // not reached before the cut stops
    int passes = 0;
    EXPECT_FALSE(WritePieces(cut, [&] { return ++passes < 1000; }).Kept);  // stops inside piece 1
    EXPECT_EQ(passes, 1000);
    EXPECT_EQ(RingFiles(), std::vector<std::string>{"[铃声]2song.mp3"});
    EXPECT_EQ(ReadBytes(Piece(2)), "from an earlier cut");

    // Stopped while the rest is written: the kept piece is already in place
    // and stays; the unfinished piece 2 goes.
    passes = 0;
    const WrittenPieces written = WritePieces(cut, [&] { return ++passes < 1200; });
    EXPECT_TRUE(written.Kept);
    EXPECT_TRUE(ReadBytes(Piece(1)) == Pattern(1'024'000, 204'800));
    EXPECT_EQ(ReadBytes(Piece(2)), "from an earlier cut");
    EXPECT_TRUE(RemoveOuterPieces(written));
    EXPECT_EQ(RingFiles(), (std::vector<std::string>{"[铃声]1song.mp3", "[铃声]2song.mp3"}));
}

TEST_F(PieceWriter, MissingSourceOrDestinationFails) {
    MakeSource(20'000);
    SetPieces({100, 200, 300});
    const std::string source = cut.SourcePath;
    cut.SourcePath = folder / "gone.mp3";
    EXPECT_FALSE(WritePieces(cut).Kept);
    EXPECT_TRUE(RingFiles().empty());

    cut.SourcePath = source;
    cut.DestDir = folder / "no such folder/";
    EXPECT_FALSE(WritePieces(cut).Kept);
    EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"rings", "song.mp3"}));
}

TEST_F(PieceWriter, PieceThatIsTheSourceIsRefused) {
    MakeSource(20'000);
    SetPieces({100, 200, 300});
    fs::create_hard_link(cut.SourcePath, Piece(1));
    EXPECT_FALSE(WritePieces(cut).Kept);
    fs::remove(Piece(1));
    fs::create_symlink(cut.SourcePath, Piece(0));
    EXPECT_FALSE(WritePieces(cut).Kept);
    EXPECT_TRUE(ReadBytes(cut.SourcePath) == Pattern(0, 20'000));
    EXPECT_FALSE(Exists(Piece(1)));

    // A source that is only a link to a file with a piece's name: removing
    // the outer pieces must not take the song with it.
    fs::remove(Piece(0));
    fs::rename(cut.SourcePath, Piece(0));
    fs::create_symlink(Piece(0), cut.SourcePath);
    const WrittenPieces written = WritePieces(cut);
    EXPECT_FALSE(written.Kept);
    EXPECT_TRUE(RemoveOuterPieces(written));
    EXPECT_TRUE(ReadBytes(cut.SourcePath) == Pattern(0, 20'000));
}

// Runs the cut and its clean-up in a child process whose files may grow to
// `limit` bytes; true when the kept piece was written.
bool CutUnderFileSizeLimit(const CutState& cut, rlim_t limit) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(2);
        const WrittenPieces written = WritePieces(cut);
        RemoveOuterPieces(written);
        _exit(written.Kept ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 2);
    return WEXITSTATUS(status) == 0;
}

TEST_F(PieceWriter, KeptPieceRefusedByFileSizeLimitFails) {
    MakeSource(2'000'000);
    // Refused in the middle of the copy, and at the final flush.
    for (auto [kept, limit] : {std::pair<std::int64_t, rlim_t>{1'000'000, 700'000}, {200'000, 150'000}}) {
        SetPieces({10'000, kept, 0});
        EXPECT_FALSE(CutUnderFileSizeLimit(cut, limit));
        EXPECT_TRUE(RingFiles().empty());
    }
}

TEST_F(PieceWriter, OuterPieceRefusedByFileSizeLimitStillCuts) {
    MakeSource(2'000'000);
    // Piece 2 is the rest, 1,890,000 bytes: it cannot be written whole.
    Plan({"9.765625", "97.65625", "0"});
    ASSERT_EQ(cut.SegBytes, (std::vector<std::int64_t>{10'000, 100'000, 1'890'000}));
    EXPECT_TRUE(CutUnderFileSizeLimit(cut, 700'000));
    EXPECT_TRUE(ReadBytes(Piece(1)) == Pattern(10'000, 100'000));
    EXPECT_EQ(RingFiles(), std::vector<std::string>{"[铃声]1song.mp3"});

    // Piece 0 refused: its bytes are still read through before piece 1.
    SetPieces({800'000, 100'000, 0});
    EXPECT_TRUE(CutUnderFileSizeLimit(cut, 700'000));
    EXPECT_TRUE(ReadBytes(Piece(1)) == Pattern(800'000, 100'000));
}

TEST_F(PieceWriter, NamesTakenByLinksFilesOrFoldersNeverLeadTheCutElsewhere) {
    MakeSource(200'000);
    SetPieces({10'000, 20'000, 170'000});
    const std::string documents = folder / "documents/";
    const std::string target = documents + "thesis.txt";
    const std::string missing = documents + "not yet written.txt";
    // What can already stand at a piece's name in a folder others write to.
    const std::pair<const char*, std::function<void(const std::string&)>> planted[] = {
        {"symbolic link", [&](const std::string& at) { fs::create_symlink(target, at); }},
        {"hard link", [&](const std::string& at) { fs::create_hard_link(target, at); }},
        {"dangling link", [&](const std::string& at) { fs::create_symlink(missing, at); }},
        {"longer file", [&](const std::string& at) { WriteBytes(at, std::string(300'000, 'Z')); }},
        {"folder",
         [&](const std::string& at) {
             fs::create_directory(at);
             WriteBytes(at + "/inside", "inside");
         }},
    };
    for (int i : {0, 1, 2}) {
        for (const auto& [what, plant] : planted) {
            SCOPED_TRACE(std::string(what) + " named as piece " + std::to_string(i));
            fs::remove_all(cut.DestDir);
            fs::remove_all(documents);
            fs::create_directories(cut.DestDir);
            fs::create_directories(documents);
            WriteBytes(target, "my thesis");
            plant(Piece(i));

            const WrittenPieces written = WritePieces(cut);
            EXPECT_TRUE(RemoveOuterPieces(written));

            // Whatever a name led to keeps its bytes and only its own name.
            EXPECT_EQ(ReadBytes(target), "my thesis");
            EXPECT_EQ(fs::hard_link_count(target), 1u);
            EXPECT_FALSE(Exists(missing));
            const bool folderInTheWay = what == std::string("folder");
            if (folderInTheWay) {
                EXPECT_EQ(ReadBytes(Piece(i) + "/inside"), "inside");
            }
            std::vector<std::string> expected{"[铃声]1song.mp3"};
            if (folderInTheWay && i != 1) expected.push_back("[铃声]" + std::to_string(i) + "song.mp3");
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(RingFiles(), expected);
            EXPECT_EQ(written.Kept, !(folderInTheWay && i == 1));
            if (written.Kept) {
                EXPECT_FALSE(fs::is_symlink(Piece(1)));
                EXPECT_TRUE(ReadBytes(Piece(1)) == Pattern(10'000, 20'000));
            }
        }
    }
}

TEST_F(PieceWriter, FailedRecutKeepsTheEarlierKeptFile) {
    struct Row {
        const char* how;
        std::function<bool(const CutState&)> recut;  // true when the kept piece was written
    };
    const Row rows[] = {
        {"the song shrinks inside the selection",
         [](const CutState& c) {
             return WritePieces(c, [&] { return fs::resize_file(c.SourcePath, 500'000), true; }).Kept;
         }},
        {"the cut is abandoned inside the selection",
         [](const CutState& c) {
             int passes = 0;
             return WritePieces(c, [&] { return ++passes < 300; }).Kept;
         }},
        {"the file-size limit refuses the selection",
         [](const CutState& c) { return CutUnderFileSizeLimit(c, 400'000); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.how);
        MakeSource(2'000'000);
        SetPieces({100'000, 200'000, 0});
        ASSERT_TRUE(RemoveOuterPieces(WritePieces(cut)));
        const std::string earlier = ReadBytes(Piece(1));

        SetPieces({100'000, 600'000, 0});
        EXPECT_FALSE(row.recut(cut));
        EXPECT_TRUE(ReadBytes(Piece(1)) == earlier);
        EXPECT_EQ(RingFiles(), std::vector<std::string>{"[铃声]1song.mp3"});
        fs::remove_all(cut.DestDir);
    }
}

TEST_F(PieceWriter, CleanUpTouchesOnlyWhatThisCutCreated) {
    MakeSource(50'000);
    WriteBytes(folder / "thesis.txt", "my thesis");
    // An earlier cut's piece 2, and a link that already holds the hidden
    // name a piece is written under first.
    WriteBytes(Piece(2), "from an earlier cut");
    fs::create_symlink(folder / "thesis.txt", cut.DestDir.string() + ".[铃声]0song.mp3.part0");

    SetPieces({10'000, 20'000});
    const WrittenPieces written = WritePieces(cut);
    ASSERT_TRUE(written.Kept);
    EXPECT_TRUE(RemoveOuterPieces(written));
    EXPECT_TRUE(ReadBytes(Piece(1)) == Pattern(10'000, 20'000));
    EXPECT_EQ(RingFiles(), (std::vector<std::string>{".[铃声]0song.mp3.part0", "[铃声]1song.mp3", "[铃声]2song.mp3"}));
    EXPECT_EQ(ReadBytes(Piece(2)), "from an earlier cut");
    EXPECT_EQ(ReadBytes(folder / "thesis.txt"), "my thesis");
}

// A killed cut leaves its hidden pieces; the next cut of the same pieces
// that is told they are dead (it holds its folder's lock) removes them, and
// only them. One not told so may be beside a running cut's, and keeps them.
TEST_F(PieceWriter, NextCutRemovesWhatAKilledCutLeft) {
    MakeSource(50'000);
    WriteBytes(folder / "thesis.txt", "my thesis");
    const std::string rings = cut.DestDir;
    for (const char* left : {".[铃声]0song.mp3.part0", ".[铃声]1song.mp3.part0", ".[铃声]1song.mp3.part99"})
        WriteBytes(rings + left, "left by a killed cut");
    // Not ours: look-alike names, a piece this cut does not write, a link,
    // a second name of a file, a folder.
    for (const char* other :
         {".[铃声]1song.mp3.part01", ".[铃声]1song.mp3.part100", "[铃声]1song.mp3.part0", ".[铃声]2song.mp3.part0"})
        WriteBytes(rings + other, "someone's");
    fs::create_symlink(folder / "thesis.txt", rings + ".[铃声]1song.mp3.part1");
    fs::create_hard_link(folder / "thesis.txt", rings + ".[铃声]1song.mp3.part2");
    fs::create_directory(rings + ".[铃声]1song.mp3.part3");

    SetPieces({10'000, 20'000});
    const std::vector<std::string> before = RingFiles();
    ASSERT_TRUE(RemoveOuterPieces(WritePieces(cut)));
    std::vector<std::string> withKept = before;
    withKept.push_back("[铃声]1song.mp3");
    std::sort(withKept.begin(), withKept.end());
    EXPECT_EQ(RingFiles(), withKept);

    const WrittenPieces written = WritePieces(cut, {}, Leftovers::Remove);
    ASSERT_TRUE(written.Kept);
    EXPECT_TRUE(RemoveOuterPieces(written));
    EXPECT_TRUE(ReadBytes(Piece(1)) == Pattern(10'000, 20'000));
    EXPECT_EQ(RingFiles(),
              (std::vector<std::string>{".[铃声]1song.mp3.part01", ".[铃声]1song.mp3.part1", ".[铃声]1song.mp3.part100",
                                        ".[铃声]1song.mp3.part2", ".[铃声]1song.mp3.part3", ".[铃声]2song.mp3.part0",
                                        "[铃声]1song.mp3", "[铃声]1song.mp3.part0"}));
    EXPECT_EQ(ReadBytes(folder / "thesis.txt"), "my thesis");
}

TEST_F(PieceWriter, KeptFileStartsWithItsHeader) {
    MakeSource(20'000);
    const std::string frame = std::string("\xFF\xFB\x90\x64", 4) + std::string(413, '\0');
    struct Row {
        std::string header;
        std::int64_t kept;
    };
    for (const Row& row : {Row{frame, 3000}, Row{frame, -200}, Row{"", 3000}}) {
        cut.KeptHeader.assign(row.header.begin(), row.header.end());
        SetPieces({1000, row.kept, 2500});
        ASSERT_TRUE(WritePieces(cut).Kept);
        EXPECT_TRUE(ReadBytes(Piece(1)) == row.header + Pattern(1000, std::max<std::int64_t>(row.kept, 0)));
        // The header is no part of the piece table: the pieces around it
        // are those of the plan.
        EXPECT_TRUE(ReadBytes(Piece(0)) == Pattern(0, 1000));
        EXPECT_TRUE(ReadBytes(Piece(2)) == Pattern(1000 + std::max<std::int64_t>(row.kept, 0), 2500));
    }
}

}  // namespace
