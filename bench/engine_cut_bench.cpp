// SPDX-License-Identifier: GPL-3.0-or-later
// How much a cut costs next to a plain copy of the same file, and whether
// its memory stays flat. A program to run by hand, not a test:
//   build/bench/engine_cut_bench [folder]
// The folder (default: the system's temporary folder) receives a 200 MiB
// file and the pieces; all of it is removed at the end.

#include "cut_engine.h"
#include "process_memory.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace sundrel;

namespace {

constexpr std::int64_t MiB = 1024 * 1024;
constexpr int Rounds = 3;

void MakeFile(const std::string& path, std::int64_t length) {
    std::vector<char> chunk(static_cast<std::size_t>(MiB));
    for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 131 + (i >> 10));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::int64_t left = length; left > 0; left -= MiB)
        out.write(chunk.data(), static_cast<std::streamsize>(std::min(left, MiB)));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

double Seconds(const std::chrono::steady_clock::time_point& since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The yardstick: read and write through a 1 MiB buffer, nothing else.
double PlainCopy(const std::string& from, const std::string& to) {
    const auto start = std::chrono::steady_clock::now();
    const int in = open(from.c_str(), O_RDONLY);
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char> buffer(static_cast<std::size_t>(MiB));
    for (ssize_t got; (got = read(in, buffer.data(), buffer.size())) > 0;)
        if (write(out, buffer.data(), static_cast<std::size_t>(got)) != got) std::exit(1);
    close(in);
    close(out);
    return Seconds(start);
}

struct CutRun {
    double seconds = 0;
    long peakKB = 0;        // resident peak while cutting
    long peakGrowthKB = 0;  // the same, less what was resident before
};

CutRun Cut(CutState& cut, std::array<std::string, 3> sizes) {
    if (!CheckSplit(cut, cut.DestDir, cut.SourcePath, sizes)) {
        std::fprintf(stderr, "the split plan refused the cut\n");
        std::exit(1);
    }
    const long before = bench::StatusKB("VmRSS");
    bench::ResetPeak();
    const EventPass noWindow = [] { return true; };
    const auto start = std::chrono::steady_clock::now();
    const WrittenPieces written = WritePieces(cut, noWindow);
    const long peak = bench::StatusKB("VmHWM");
    CutRun run{Seconds(start), peak, peak - before};
    if (!written.Kept || !RemoveOuterPieces(written)) {
        std::fprintf(stderr, "the cut failed\n");
        std::exit(1);
    }
    return run;
}

CutState CutOf(const std::string& folder, const std::string& name) {
    CutState cut;
    cut.SourcePath = folder + name;
    cut.SourceName = name;
    cut.DestDir = folder;
    cut.SourceLen = FileLength(cut.SourcePath).value_or(0);
    return cut;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = (argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path()).string() + "/sundrel-bench-XXXXXX";
    if (!mkdtemp(folder.data())) return 1;
    folder += "/";

    const std::int64_t length = 200 * MiB;
    MakeFile(folder + "song.mp3", length);
    MakeFile(folder + "short.mp3", 20 * MiB);

    // A 1 MiB selection from the middle; pieces 0 and 2 are written too.
    CutState cut = CutOf(folder, "song.mp3");
    const std::array<std::string, 3> sizes{"102400", "1024", "0"};

    double bestCopy = 1e9, bestCut = 1e9;
    long peakGrowth = 0, peak = 0;
    for (int round = 0; round < Rounds; ++round) {
        bestCopy = std::min(bestCopy, PlainCopy(folder + "song.mp3", folder + "copy.mp3"));
        fs::remove(folder + "copy.mp3");
        const CutRun run = Cut(cut, sizes);
        bestCut = std::min(bestCut, run.seconds);
        peakGrowth = std::max(peakGrowth, run.peakGrowthKB);
        peak = std::max(peak, run.peakKB);
    }
    const bool keptRight = FileLength(PieceName(cut, 1)) == MiB;

    CutState shortCut = CutOf(folder, "short.mp3");
    const CutRun shortRun = Cut(shortCut, {"10240", "1024", "0"});

    const double ratio = bestCut / bestCopy;
    std::printf("Sundrel cut engine benchmark (%s)\n", folder.c_str());
    std::printf("source: %lld bytes; selection: 1 MiB from byte %lld; kept file right: %s\n",
                static_cast<long long>(length), static_cast<long long>(100 * MiB), keptRight ? "yes" : "NO");
    std::printf("plain copy, 1 MiB buffer:              best of %d  %.3f s\n", Rounds, bestCopy);
    std::printf("cut, a no-op pass per 1122-byte block: best of %d  %.3f s\n", Rounds, bestCut);
    std::printf("ratio cut / copy: %.2f   (goal <= 1.30: %s)\n", ratio, ratio <= 1.3 ? "met" : "MISSED");
    std::printf("peak resident memory during the cut: %ld KB for 200 MiB, %ld KB for 20 MiB\n", peak, shortRun.peakKB);
    std::printf(
        "growth over what was resident before: %ld KB for 200 MiB, %ld KB for 20 MiB"
        "   (goal: flat, a few MB at most: %s)\n",
        peakGrowth, shortRun.peakGrowthKB, peakGrowth <= 4096 ? "met" : "MISSED");

    fs::remove_all(folder);
    return ratio <= 1.3 && peakGrowth <= 4096 && keptRight ? 0 : 2;
}
