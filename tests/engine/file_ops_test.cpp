// SPDX-License-Identifier: GPL-3.0-or-later
#include "cut_engine.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace sundrel;
using namespace sundrel::test;
namespace fs = std::filesystem;

namespace {

TEST(FileLength, SizesFilesOnly) {
    TempFolder folder;
    WriteBytes(folder / "a.mp3", Pattern(0, 4321));
    EXPECT_EQ(FileLength(folder / "a.mp3"), 4321);
    EXPECT_EQ(FileLength(folder / "missing.mp3"), std::nullopt);
    EXPECT_EQ(FileLength(folder.Path()), std::nullopt);
}

TEST(MoveFile, MovesAndReplacesAnExistingTarget) {
    TempFolder folder;
    WriteBytes(folder / "[铃声]1song.mp3", Pattern(0, 1000));
    ASSERT_TRUE(MoveFile(folder / "[铃声]1song.mp3", folder / "my ring.mp3"));
    EXPECT_FALSE(Exists(folder / "[铃声]1song.mp3"));
    EXPECT_TRUE(ReadBytes(folder / "my ring.mp3") == Pattern(0, 1000));

    WriteBytes(folder / "new.mp3", "new");
    ASSERT_TRUE(MoveFile(folder / "new.mp3", folder / "my ring.mp3"));
    EXPECT_EQ(ReadBytes(folder / "my ring.mp3"), "new");
}

TEST(MoveFile, FailureLeavesBothFilesAsTheyWere) {
    TempFolder folder;
    WriteBytes(folder / "target.mp3", "old");
    EXPECT_FALSE(MoveFile(folder / "missing.mp3", folder / "target.mp3"));
    EXPECT_EQ(ReadBytes(folder / "target.mp3"), "old");

    WriteBytes(folder / "ring.mp3", "ring");
    EXPECT_FALSE(MoveFile(folder / "ring.mp3", folder / "no such folder/ring.mp3"));
    EXPECT_EQ(ReadBytes(folder / "ring.mp3"), "ring");
}

// /dev/shm is a RAM file system on most Linux machines, so a move from the
// temporary folder to it cannot be a rename.
bool OnOtherFileSystem(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev != sb.st_dev;
}

TEST(MoveFile, AcrossFileSystemsCopiesThenDeletes) {
    TempFolder here;
    if (!fs::is_directory("/dev/shm") || !OnOtherFileSystem(here.Path(), "/dev/shm"))
        GTEST_SKIP() << "no second file system to move to";
    std::string there = "/dev/shm/sundrel-move-XXXXXX";
    ASSERT_NE(mkdtemp(there.data()), nullptr);
    there += "/";

    WriteBytes(here / "ring.mp3", Pattern(0, 3'000'000));
    WriteBytes(there + "ring.mp3", "old");
    fs::permissions(here / "ring.mp3", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(MoveFile(here / "ring.mp3", there + "ring.mp3"));
    EXPECT_FALSE(Exists(here / "ring.mp3"));
    EXPECT_TRUE(ReadBytes(there + "ring.mp3") == Pattern(0, 3'000'000));
    EXPECT_EQ(fs::status(there + "ring.mp3").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // A target that cannot be replaced (a folder) keeps the source, and no
    // temporary file stays behind.
    WriteBytes(here / "second.mp3", "second");
    fs::create_directory(there + "taken");
    EXPECT_FALSE(MoveFile(here / "second.mp3", there + "taken"));
    EXPECT_EQ(ReadBytes(here / "second.mp3"), "second");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(there)) left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"ring.mp3", "taken"}));
    fs::remove_all(there);
}

}  // namespace
