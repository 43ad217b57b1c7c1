// SPDX-License-Identifier: GPL-3.0-or-later
#include "song_tags.h"
#include "song_map.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <thread>

using namespace sundrel;
using namespace sundrel::test;

namespace {

std::string Id3v2(std::uint32_t size, unsigned char flags = 0) {
    std::string tag = "ID3";
    tag += {'\x04', '\x00', static_cast<char>(flags)};
    for (int shift : {21, 14, 7, 0}) tag += static_cast<char>((size >> shift) & 0x7F);
    tag += std::string(size, '\0');
    if (flags & 0x10) tag += "3DI" + tag.substr(3, 7);
    return tag;
}

std::string Id3v1() { return "TAG" + std::string(125, 'a'); }

std::string LittleEndian(std::uint32_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

// An APEv2 tag whose items take `items` bytes; its size field may lie.
std::string Ape(std::uint32_t items, bool withHeader, std::uint32_t statedSize = 0) {
    const std::uint32_t size = statedSize ? statedSize : items + 32;
    const auto block = [&](std::uint32_t flags) {
        return "APETAGEX" + LittleEndian(2000) + LittleEndian(size) + LittleEndian(1) +
               LittleEndian((withHeader ? 0x80000000u : 0) | flags) + std::string(8, '\0');
    };
    return (withHeader ? block(0x20000000u) : "") + std::string(items, 'i') + block(0);
}

std::string Repeat(const std::string& bytes, std::size_t times) {
    std::string out;
    out.reserve(bytes.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += bytes;
    return out;
}

const std::string Sound = Pattern(0, 5000);
constexpr int Limit = detail::MaxHeadTags;

struct TagCase {
    const char* name;
    std::string bytes;
    std::int64_t first, end;
    bool safe = true;
};

class SongFileOf : public ::testing::Test {
protected:
    void ExpectAll(std::initializer_list<TagCase> cases) {
        for (const TagCase& c : cases) {
            const std::string path = folder / "song.mp3";
            WriteBytes(path, c.bytes);
            const SongFile song = ReadSongFile(path);
            EXPECT_TRUE(song.Regular) << c.name;
            EXPECT_EQ(song.Length, static_cast<std::int64_t>(c.bytes.size())) << c.name;
            EXPECT_EQ(song.Sound.First, c.first) << c.name;
            EXPECT_EQ(song.Sound.End, c.end) << c.name;
            EXPECT_EQ(song.SafeToDecode, c.safe) << c.name;
        }
    }
    TempFolder folder;
};

TEST_F(SongFileOf, TagsAroundTheSound) {
    ExpectAll({
        {"ID3v2", Id3v2(1000) + Sound, 1010, 6010},
        {"two ID3v2, one with a footer", Id3v2(100) + Id3v2(200, 0x10) + Sound, 330, 5330},
        {"as many head tags as allowed", Repeat(Id3v2(0), Limit) + Sound, 10 * Limit, 10 * Limit + 5000},
        {"a tag and no sound", Id3v2(300), 310, 310},
        {"APE with header then ID3v1", Sound + Ape(100, true) + Id3v1(), 0, 5000},
        {"ID3v1 then APE", Sound + Id3v1() + Ape(60, false), 0, 5000},
        {"head and tail", Id3v2(64, 0x10) + Sound + Ape(100, true) + Id3v1(), 84, 5084},
        {"untagged", Sound, 0, 5000},
        {"shorter than a tag header", "ID3\x04", 0, 4},
        {"one byte", "\xFF", 0, 1},
        {"empty", "", 0, 0},
    });
}

TEST_F(SongFileOf, TagSizesThatCannotBeTrue) {
    std::string notSyncsafe = Id3v2(100) + Sound;
    notSyncsafe[9] = '\x80';
    std::string tagInsideHead = Id3v2(200);
    tagInsideHead.replace(182, 3, "TAG");
    ExpectAll({
        // No tag at all, or tags that would overlap: the whole file is sound.
        {"size byte not syncsafe", notSyncsafe, 0, 5110},
        {"APE smaller than its footer", Sound + Ape(0, false, 16), 0, 5032},
        {"APE reaching into the head tag", Id3v2(1000) + "xyz" + Ape(100, false, 300), 0, 1145},
        {"TAG inside the head tag", tagInsideHead + Sound.substr(0, 100), 0, 310},
        // Claims the media library is known to choke on.
        {"head tag past the end", Id3v2(10000).substr(0, 10) + Sound, 0, 5010, false},
        {"one head tag too many", Repeat(Id3v2(0), Limit + 1) + Sound, 0, 10 * (Limit + 1) + 5000, false},
        {"APE past the start", Sound + Ape(100, false, 1'000'000), 0, 5132, false},
        {"APE size + 32 overflows", Sound + Ape(100, false, 0xFFFFFFE0u), 0, 5132, false},
        {"APE with header, size + 32 overflows", Sound + Ape(100, true, 0xFFFFFFE8u), 0, 5164, false},
    });
}

// A renamed FLAC, Ogg, WAVE or MP4 file is told by its first bytes after
// the head tags; MPEG audio in a WAVE file, or sound that merely begins with
// a few of those letters, is not.
TEST_F(SongFileOf, OtherFormatsByTheirSignature) {
    const auto wave = [](int format) {
        return "RIFF" + LittleEndian(5036) + "WAVEfmt " + LittleEndian(16) + static_cast<char>(format) + '\0';
    };
    const struct {
        const char* name;
        std::string bytes;
        bool other;
    } rows[] = {
        {"FLAC", "fLaC" + Sound, true},
        {"Ogg", "OggS" + Sound, true},
        {"WAVE of PCM", wave(1) + Sound, true},
        {"MP4", std::string("\0\0\0 ftypM4A ", 12) + Sound, true},
        {"FLAC after an ID3v2 tag", Id3v2(300) + "fLaC" + Sound, true},
        {"WAVE of MPEG Layer III", wave(0x55) + Sound, false},
        {"sound", Sound, false},
        {"fLa only", "fLa", false},
        {"empty", "", false},
    };
    for (const auto& row : rows) {
        WriteBytes(folder / "song.mp3", row.bytes);
        EXPECT_EQ(ReadSongFile(folder / "song.mp3").OtherFormat, row.other) << row.name;
    }
}

// 50 MB of empty head tags, or of tail tags, cost a handful of reads.
TEST_F(SongFileOf, HostileChainsAreReadWithBoundedReads) {
    const std::string path = folder / "chain.mp3";
    for (const bool atHead : {true, false}) {
        const std::string unit = atHead ? Id3v2(0) : Id3v1();
        const std::string chain = Repeat(unit, 50'000'000 / unit.size());
        WriteBytes(path, atHead ? chain + Sound : Sound + chain);
        int reads = 0;
        const SongFile song = detail::ReadSongFile(path, reads);
        EXPECT_LE(reads, Limit + 2 * detail::MaxTailTags + 2);
        EXPECT_EQ(song.SafeToDecode, !atHead);
        EXPECT_EQ(song.Sound.First, 0);
        EXPECT_EQ(song.Sound.End, song.Length - (atHead ? 0 : detail::MaxTailTags * 128));
    }
}

// Opening a FIFO waits for a writer for ever. While the reader looks, a
// thread keeps opening the write end without waiting, which works only
// when a reader has the FIFO open: that frees the reader, so the test ends
// either way, and shows that the FIFO was opened.
TEST_F(SongFileOf, OnlyRegularFilesAreOpened) {
    const std::string fifo = folder / "pipe.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    WriteBytes(folder / "song.mp3", Id3v2(100) + Sound);
    std::filesystem::create_symlink(folder / "song.mp3", folder / "link.mp3");
    std::filesystem::create_symlink(fifo, folder / "fifo-link.mp3");

    const struct {
        std::string path;
        bool regular;
    } cases[] = {{fifo, false},
                 {folder / "fifo-link.mp3", false},
                 {folder.Path(), false},
                 {folder / "missing.mp3", false},
                 {folder / "link.mp3", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::atomic<bool> done{false}, opened{false};
        std::thread watch([&] {
            while (!done) {
                if (const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) {
                    opened = true;
                    ::close(fd);
                }
            }
        });
        const SongFile file = ReadSongFile(c.path);
        // Told it is regular, the frame walk still looks before it opens.
        SongFile claimed = file;
        claimed.Regular = true;
        claimed.Sound = {0, 1000};
        const auto map = MapSong(c.path, claimed);
        done = true;
        watch.join();

        EXPECT_FALSE(opened);
        EXPECT_EQ(file.Regular, c.regular);
        EXPECT_EQ(file.SafeToDecode, c.regular);
        EXPECT_EQ(file.Sound.First, c.regular ? 110 : 0);
        ASSERT_TRUE(map);
        EXPECT_EQ(map->Frames().Count(), 0u);
    }
}

}  // namespace
