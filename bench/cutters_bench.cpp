// SPDX-License-Identifier: GPL-3.0-or-later
// sundrel-cut next to `ffmpeg -c copy` and mp3splt, the two cutters without
// re-encoding Debian has: each cuts 30 s to 40 s out of a two-minute CBR and
// VBR song; timed (best of 5, the process included), and its file decoded
// by mpg123 (gapless) to see where it starts and how long it lasts against
// the song's own decoded sound. A program to run by hand, by
// scripts/compare-cutters.sh:
//   build/bench/cutters_bench SUNDREL-CUT [folder]

#include "mp3_fixture.h"

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace sundrel::test;

namespace {

constexpr double kStart = 30, kEnd = 40;
constexpr int kRounds = 5;

struct Cutter {
    const char* name;
    // The shell command that cuts song.mp3 into the file `out`, in the folder.
    std::string (*command)(const std::string& cutProgram);
};

const Cutter kCutters[] = {
    {"sundrel-cut", [](const std::string& cut) { return "'" + cut + "' -f -s 30 -e 40 -o out.mp3 song.mp3"; }},
    {"ffmpeg -c copy",
     [](const std::string&) { return std::string("ffmpeg -v error -y -ss 30 -i song.mp3 -t 10 -c copy out.mp3"); }},
    {"mp3splt", [](const std::string&) { return std::string("mp3splt -q -d . -o out song.mp3 0.30.00 0.40.00"); }},
    {"mp3splt -f (frame mode)",
     [](const std::string&) { return std::string("mp3splt -q -f -d . -o out song.mp3 0.30.00 0.40.00"); }},
};

double SecondsOf(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status == 0 ? seconds : -1;
}

void Measure(const char* kind, const std::vector<std::string>& lame, const std::string& cutProgram) {
    if (!MakeQuietLoudMp3("song.mp3", 120, lame, 7, 0.5)) {
        std::fprintf(stderr, "lame failed\n");
        std::exit(1);
    }
    const Decoded song = DecodeWithMpg123("song.mp3");
    for (const Cutter& cutter : kCutters) {
        double best = 1e9;
        for (int round = 0; round < kRounds; ++round) {
            fs::remove("out.mp3");
            const double seconds = SecondsOf(cutter.command(cutProgram));
            best = seconds < 0 ? -1 : std::min(best, seconds);
            if (best < 0) break;
        }
        const Decoded cut = DecodeWithMpg123("out.mp3");
        const std::optional<std::size_t> at =
            best < 0 || cut.exitStatus != 0 ? std::nullopt : LocateExcerpt(song.samples, Span(cut, 0, 1));
        if (!at) {
            std::printf("| %s | %s | failed | | |\n", kind, cutter.name);
            continue;
        }
        const double startOffMs = (double(*at) / song.rate - kStart) * 1000;
        const double lengthOffMs = (cut.seconds() - (kEnd - kStart)) * 1000;
        std::printf("| %s | %s | %.1f ms | %+.1f ms (%+ld samples) | %+.1f ms |\n", kind, cutter.name, best * 1000,
                    startOffMs, long(*at) - long(kStart * song.rate), lengthOffMs);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: cutters_bench SUNDREL-CUT [folder]\n");
        return 2;
    }
    const std::string cutProgram = fs::absolute(argv[1]);
    std::string folder =
        (argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path()).string() + "/sundrel-cutters-XXXXXX";
    if (!mkdtemp(folder.data())) return 1;
    fs::current_path(folder);
    std::printf("| song | cutter | time, best of %d | start off by | length off by |\n|---|---|---|---|---|\n",
                kRounds);
    Measure("CBR 128 kbit/s", {"-b", "128"}, cutProgram);
    Measure("VBR -V 2", {"-V", "2"}, cutProgram);
    fs::current_path("/");
    fs::remove_all(folder);
    return 0;
}
