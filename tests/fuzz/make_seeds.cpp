// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seeds the engine's fuzz targets start from: short songs of
// each kind lame makes, hostile shapes made of them, and frames with the
// main data before them.
//   fuzz_seeds FOLDER    writes FOLDER/songs/ and FOLDER/frames/

#include "mp3_fixture.h"
#include "side_info.h"
#include "song_map.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

using namespace sundrel;
namespace fs = std::filesystem;
namespace fixture = sundrel::test;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr double kSeconds = 0.4;

const std::vector<std::pair<std::string, std::vector<std::string>>> kKinds = {
    {"cbr128", {"-b", "128", "--cbr"}},          {"vbr", {"-V", "2"}},
    {"joint-stereo", {"-m", "j", "-b", "160"}},  {"mpeg2", {"--resample", "22.05", "-b", "64"}},
    {"mpeg25", {"--resample", "8", "-b", "16"}}, {"crc", {"-b", "128", "--cbr", "-p"}},
    {"no-tag", {"-b", "128", "--cbr", "-t"}},    {"free-format", {"--freeformat", "-b", "200"}},
};

// The song with `what` put in after its frame `frame`.
Bytes Inserted(const Bytes& song, const SongMap& map, std::size_t frame, const Bytes& what) {
    Bytes out = song;
    const auto at = static_cast<std::ptrdiff_t>(map.Frames().End(std::min(frame, map.Frames().Count() - 1)));
    out.insert(out.begin() + at, what.begin(), what.end());
    return out;
}

// Hostile shapes of a song, each a way files really go wrong.
std::vector<std::pair<std::string, Bytes>> Shapes(const Bytes& song, const SongMap& map, const Bytes& other) {
    std::vector<std::pair<std::string, Bytes>> shapes;
    Bytes tagged = fixture::Id3v2Tag(300);
    tagged.insert(tagged.end(), song.begin(), song.end());
    const Bytes v1 = fixture::Id3v1Tag();
    tagged.insert(tagged.end(), v1.begin(), v1.end());
    shapes.emplace_back("tagged", tagged);
    shapes.emplace_back("junk-between-frames", Inserted(song, map, 5, Bytes(300, 0x5A)));
    shapes.emplace_back("false-sync-between-frames", Inserted(song, map, 3, {0xFF, 0xFB, 0x90, 0x00, 0xFF, 0xE2}));
    shapes.emplace_back("cut-mid-frame",
                        Bytes(song.begin(), song.begin() + static_cast<std::ptrdiff_t>(song.size() * 2 / 3)));
    Bytes lying = song;
    const auto xing = std::search(lying.begin(), lying.end(), std::begin("Xing"), std::begin("Xing") + 4);
    const auto info = std::search(lying.begin(), lying.end(), std::begin("Info"), std::begin("Info") + 4);
    const auto tag = xing != lying.end() ? xing : info;
    if (tag != lying.end() && lying.end() - tag > 16) std::fill_n(tag + 12, 4, 0xFF);
    shapes.emplace_back("lying-byte-count", lying);
    // Counts of the first half only: gapless players drop the padding there.
    Bytes half = song;
    if (tag != lying.end() && lying.end() - tag > 12) {
        const auto at = static_cast<std::size_t>(tag - lying.begin()) + 8;
        const std::uint32_t frames = (std::uint32_t(half[at]) << 24 | std::uint32_t(half[at + 1]) << 16 |
                                      std::uint32_t(half[at + 2]) << 8 | half[at + 3]) / 2;
        for (std::size_t i = 0; i < 4; ++i) half[at + i] = static_cast<unsigned char>(frames >> (24 - 8 * i));
    }
    shapes.emplace_back("lying-frame-count", half);
    Bytes joined = song, halfJoined = half;
    joined.insert(joined.end(), other.begin(), other.end());
    shapes.emplace_back("two-encodes-joined", joined);
    halfJoined.insert(halfJoined.end(), other.begin(), other.end());
    shapes.emplace_back("lying-frame-count-joined", halfJoined);
    Bytes framed(2000, 0);
    const std::string bytes = fixture::FramedBytes(3000);
    framed.insert(framed.end(), bytes.begin(), bytes.end());
    shapes.emplace_back("zeros-then-frames", framed);
    return shapes;
}

// A frame, then the main data of the three frames before it.
Bytes FrameWithReservoir(const Bytes& song, const SongMap& map, std::size_t frame) {
    const FrameIndex& frames = map.Frames();
    Bytes seed(song.begin() + frames.Offset(frame), song.begin() + frames.End(frame));
    for (std::size_t i = frame >= 3 ? frame - 3 : 0; i < frame; ++i) {
        const auto header = ParseFrameOfLength(std::span(song).subspan(static_cast<std::size_t>(frames.Offset(i))),
                                               frames.End(i) - frames.Offset(i));
        seed.insert(seed.end(), song.begin() + frames.Offset(i) + MainDataOffset(*header),
                    song.begin() + frames.End(i));
    }
    return seed;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const fs::path songs = fs::path(argv[1]) / "songs", frames = fs::path(argv[1]) / "frames";
    fs::create_directories(songs);
    fs::create_directories(frames);
    Bytes previous;
    for (const auto& [name, lame] : kKinds) {
        const fs::path path = songs / (name + ".mp3");
        if (!fixture::MakeQuietLoudMp3(path, kSeconds, lame)) return 1;
        const Bytes song = fixture::ReadBytes(path);
        const auto map = MapSong(path.string(), ReadSongFile(path.string()));
        if (!map || map->Frames().Count() < 8) return 1;
        for (const auto& [shape, bytes] : Shapes(song, *map, previous.empty() ? song : previous))
            if (!fixture::WriteBytes(songs / (name + "-" + shape + ".mp3"), bytes)) return 1;
        for (const std::size_t frame : {1, 6})
            if (!fixture::WriteBytes(frames / (name + "-" + std::to_string(frame)),
                                     FrameWithReservoir(song, *map, frame)))
                return 1;
        previous = song;
    }
    return 0;
}
