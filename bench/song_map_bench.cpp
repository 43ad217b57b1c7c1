// SPDX-License-Identifier: GPL-3.0-or-later
// What mapping a song costs: MapSong on a 10 MB and a 300 MB VBR song (time,
// peak memory, longest stretch without an event pass), on 2 GiB of garbage
// and 4 GiB of zeros with and without a song before them, and ReadSongFile
// on files made of nothing but empty ID3v2 headers. A program to run by hand:
//   build/bench/song_map_bench [folder]
// The folder (default: the system's temporary folder) receives the songs,
// about 5 GB in all (the zeros are holes, not written); everything is
// removed at the end.

#include "mp3_fixture.h"
#include "process_memory.h"
#include "song_map.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace sundrel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::int64_t MB = 1000 * 1000;
constexpr int Rounds = 5;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::exit(1);
}

// A lame -V2 song's header frame, then its frames of sound over and over up
// to `length` bytes, written a piece at a time.
void MakeLongSong(const std::string& seed, const std::string& path, std::int64_t length) {
    const SongMap map = MapSong(seed, ReadSongFile(seed)).value_or(SongMap());
    if (!map.VariableBitRate()) Fail("the seed song has no frames of several rates");
    const std::vector<std::uint8_t> bytes = test::ReadBytes(seed);
    const auto frames = map.Frames();
    const auto first = frames.Offset(0), end = frames.End(frames.Count() - 1);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), first);
    for (std::int64_t written = first; written < length; written += end - first)
        out.write(reinterpret_cast<const char*>(bytes.data() + first), end - first);
    if (!out) Fail("cannot write the long song");
}

struct WalkRun {
    double ms = 0;
    double longestGapMs = 0;  // between two event passes, or the start or end and the nearest one
    long passes = 0;
    long peakGrowthKB = 0;
    std::size_t frames = 0;
};

WalkRun Walk(const std::string& path) {
    const SongFile file = ReadSongFile(path);
    WalkRun run;
    const long before = bench::StatusKB("VmRSS");
    bench::ResetPeak();
    const auto start = Clock::now();
    auto last = start;
    const auto map = MapSong(path, file, [&] {
        const auto now = Clock::now();
        run.longestGapMs = std::max(run.longestGapMs, Ms(now - last));
        last = now;
        ++run.passes;
        return true;
    });
    const auto end = Clock::now();
    run.ms = Ms(end - start);
    run.longestGapMs = std::max(run.longestGapMs, Ms(end - last));
    run.peakGrowthKB = bench::StatusKB("VmHWM") - before;
    if (!map) Fail("the walk was abandoned");
    run.frames = map->Frames().Count();
    return run;
}

WalkRun BestWalk(const std::string& path, int rounds) {
    WalkRun best;
    best.ms = 1e30;
    for (int round = 0; round < rounds; ++round) {
        const WalkRun run = Walk(path);
        if (run.ms < best.ms) best = run;
        best.longestGapMs = std::max(best.longestGapMs, run.longestGapMs);
        best.peakGrowthKB = std::max(best.peakGrowthKB, run.peakGrowthKB);
    }
    return best;
}

void MakeHeaderChain(const std::string& path, std::int64_t length) {
    const std::string header("ID3\x04\0\0\0\0\0\0", 10);
    std::string block;
    while (block.size() < 1024 * 1024) block += header;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::int64_t left = length; left > 0; left -= static_cast<std::int64_t>(block.size()))
        out.write(block.data(), static_cast<std::streamsize>(std::min<std::int64_t>(left, block.size())));
    if (!out) Fail("cannot write the tag chain");
}

// Bytes that never chain into frames, fast to make: xorshift64.
void AppendGarbage(const std::string& path, std::int64_t length) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    std::vector<std::uint64_t> block(1 << 17);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::int64_t left = length; left > 0; left -= static_cast<std::int64_t>(block.size() * 8)) {
        for (auto& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(std::min<std::int64_t>(left, block.size() * 8)));
    }
    if (!out) Fail("cannot write the garbage");
}

// A hole: a file system stores no zeros for it, the kernel reads them.
void AppendZeros(const std::string& path, std::int64_t length) {
    std::error_code ec;
    const auto size = fs::exists(path) ? fs::file_size(path) : 0;
    if (!fs::exists(path)) std::ofstream(path, std::ios::binary);
    fs::resize_file(path, size + static_cast<std::uintmax_t>(length), ec);
    if (ec) Fail("cannot make the hole");
}

double BestTags(const std::string& path, bool& safe) {
    double best = 1e30;
    for (int round = 0; round < Rounds; ++round) {
        const auto start = Clock::now();
        safe = ReadSongFile(path).SafeToDecode;
        best = std::min(best, Ms(Clock::now() - start));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder =
        (argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path()).string() + "/sundrel-song-map-bench-XXXXXX";
    if (!mkdtemp(folder.data())) return 1;
    folder += "/";

    const std::string seed = folder + "seed.mp3";
    if (!test::MakeQuietLoudMp3(seed, 60, test::BitRateMode::Vbr2)) Fail("lame failed");
    MakeLongSong(seed, folder + "10.mp3", 10 * MB);
    MakeLongSong(seed, folder + "300.mp3", 300 * MB);
    MakeHeaderChain(folder + "chain50.mp3", 50 * MB);
    MakeHeaderChain(folder + "chain500.mp3", 500 * MB);

    constexpr std::int64_t GiB = 1LL << 30;
    AppendGarbage(folder + "garbage.mp3", 2 * GiB);
    fs::copy_file(seed, folder + "song+garbage.mp3");
    AppendGarbage(folder + "song+garbage.mp3", 2 * GiB);
    AppendZeros(folder + "zeros.mp3", 4 * GiB);
    fs::copy_file(seed, folder + "song+hole.mp3");
    AppendZeros(folder + "song+hole.mp3", 4 * GiB);

    const WalkRun small = BestWalk(folder + "10.mp3", Rounds);
    const WalkRun large = BestWalk(folder + "300.mp3", 2);
    const WalkRun garbage = BestWalk(folder + "garbage.mp3", 2);
    const WalkRun songGarbage = BestWalk(folder + "song+garbage.mp3", 2);
    const WalkRun zeros = BestWalk(folder + "zeros.mp3", 2);
    const WalkRun songHole = BestWalk(folder + "song+hole.mp3", 2);
    bool safe50 = true, safe500 = true;
    const double tags50 = BestTags(folder + "chain50.mp3", safe50);
    const double tags500 = BestTags(folder + "chain500.mp3", safe500);

    std::printf("Sundrel song map benchmark (%s), files in the page cache\n", folder.c_str());
    std::printf("MapSong, 10 MB VBR (%zu frames):  best of %d %.1f ms   (goal well under 50 ms: %s)\n", small.frames,
                Rounds, small.ms, small.ms < 25 ? "met" : "MISSED");
    std::printf(
        "MapSong, 300 MB VBR (%zu frames): best of 2 %.0f ms, %ld event passes, longest gap %.1f ms"
        "   (goal <= 20 ms: %s)\n",
        large.frames, large.ms, large.passes, large.longestGapMs, large.longestGapMs <= 20 ? "met" : "MISSED");
    std::printf("peak resident growth while mapping: %ld KB for 10 MB, %ld KB for 300 MB\n", small.peakGrowthKB,
                large.peakGrowthKB);
    std::printf(
        "ReadSongFile, chained empty ID3v2 headers: 50 MB %.3f ms, 500 MB %.3f ms, safe to decode: %s"
        "   (goal well under 1 s: %s)\n",
        tags50, tags500, safe50 || safe500 ? "YES" : "no", std::max(tags50, tags500) < 100 ? "met" : "MISSED");

    const auto mbs = [](std::int64_t bytes, const WalkRun& run) { return double(bytes) / 1e6 / (run.ms / 1000); };
    std::printf("MapSong, 2 GiB of garbage: %.0f ms, %.0f MB/s, longest gap %.1f ms   (goal under 7 s: %s)\n",
                garbage.ms, mbs(2 * GiB, garbage), garbage.longestGapMs, garbage.ms < 7000 ? "met" : "MISSED");
    std::printf("MapSong, 4 GiB of zeros: %.0f ms, %.0f MB/s   (goal faster than garbage: %s)\n", zeros.ms,
                mbs(4 * GiB, zeros), mbs(4 * GiB, zeros) > mbs(2 * GiB, garbage) ? "met" : "MISSED");
    std::printf(
        "MapSong, a 60 s song then 2 GiB of garbage: %.1f ms (%zu frames); then a 4 GiB hole: %.1f ms (%zu frames)"
        "   (goal under 2 s: %s)\n",
        songGarbage.ms, songGarbage.frames, songHole.ms, songHole.frames,
        std::max(songGarbage.ms, songHole.ms) < 2000 ? "met" : "MISSED");

    fs::remove_all(folder);
    const bool met = small.ms < 25 && large.longestGapMs <= 20 && std::max(tags50, tags500) < 100 && !safe50 &&
                     !safe500 && garbage.ms < 7000 && std::max(songGarbage.ms, songHole.ms) < 2000;
    return met ? 0 : 2;
}
