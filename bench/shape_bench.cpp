// SPDX-License-Identifier: GPL-3.0-or-later
// How soon a fade or a volume step gives the new ringtone: after a cut, the
// player reports a fade set or a step of volume and the window cuts again at
// once. Timed from the report to the kept file in place: a 30 s ringtone of
// a 10 MB song, and the whole of a 300 MB song made a step louder, with the
// longest wait of the window's event loop and the growth of the peak
// resident memory meanwhile. The songs are the frames of a lame song, over
// and over. A program to run by hand, not a test:
//   QT_QPA_PLATFORM=offscreen build/bench/shape_bench [folder]
// Goals: 10 MB within 50 ms; on 300 MB no wait over 20 ms, memory flat.

#include "fakes.h"
#include "frm.h"
#include "mp3_fixture.h"
#include "process_memory.h"
#include "song_map.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace sundrel;
using namespace sundrel::testing;

namespace {

constexpr int kRounds = 6;
constexpr int kTickMs = 2;

// The frames of sound of `seed` over and over, up to `bytes`.
bool WriteLongSong(const std::string& seed, const std::string& path, std::int64_t bytes) {
    const auto map = MapSong(seed, ReadSongFile(seed));
    if (!map || map->Frames().Count() == 0) return false;
    const std::vector<std::uint8_t> song = test::ReadBytes(seed);
    const auto first = map->Frames().Offset(0), end = map->Frames().End(map->Frames().Count() - 1);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::int64_t written = 0; written < bytes; written += end - first)
        out.write(reinterpret_cast<const char*>(song.data() + first), end - first);
    return bool(out);
}

struct Timing {
    double bestMs = 1e9, worstMs = 0;
    qint64 longestWaitMs = 0;
};

// Each change, reported by the player, timed until the window has cut again.
Timing Time(FakeServices& fake, const std::function<void(int round)>& change) {
    QElapsedTimer sinceTick;
    Timing timing;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { timing.longestWaitMs = std::max(timing.longestWaitMs, sinceTick.restart()); });
    for (int round = 0; round < kRounds; ++round) {
        tick.start(kTickMs);
        QApplication::processEvents();
        sinceTick.start();
        QElapsedTimer timer;
        timer.start();
        change(round);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        tick.stop();
        timing.bestMs = std::min(timing.bestMs, ms);
        timing.worstMs = std::max(timing.worstMs, ms);
        if (!fake.desktop.messages.isEmpty() || !fake.players[0]->markEnd) {
            std::fprintf(stderr, "a cut failed\n");
            std::exit(1);
        }
    }
    return timing;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QTemporaryDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/bench-XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/bench-XXXXXX"));
    const std::string seed = dir.filePath(QStringLiteral("seed.mp3")).toStdString();
    // Joint stereo at 128 kbit/s, with headroom to be louder.
    if (!test::MakeQuietLoudMp3(seed, 40, {"-m", "j", "-b", "128"}, 1, 0.5)) return 1;
    for (const std::int64_t megabytes : {10, 300}) {
        const QString source = dir.filePath(QStringLiteral("song%1.mp3").arg(megabytes));
        if (!WriteLongSong(seed, source.toStdString(), megabytes * 1'000'000)) return 1;
        FakeServices fake;
        Frm frm(fake.services);
        frm.show();
        fake.desktop.openAnswers << source;
        frm.cmdBrowseS_Click();
        FakePlayer* player = fake.players[0];
        player->length = frm.cutState().SourceMap.Duration().value_or(0);
        player->peak = 0.3;
        // The 10 MB song's ringtone is 30 s of it; the 300 MB one the whole.
        const bool whole = megabytes > 10;
        player->position = whole ? 0 : 100;
        frm.cmdQ_Click();
        player->position = whole ? player->length : 130;
        frm.Command1_Click();

        const long before = bench::StatusKB("VmRSS");
        bench::ResetPeak();
        const Timing volume = Time(fake, [&](int round) { emit player->volumeStepped(round % 2 ? -1 : 1); });
        const long grown = bench::StatusKB("VmHWM") - before;
        std::printf(
            "%lld MB song, %s: a volume step %.1f ms best, %.1f ms worst of %d; longest event-loop "
            "wait %lld ms; peak memory %+ld KB\n",
            static_cast<long long>(megabytes), whole ? "the whole song" : "a 30 s ringtone", volume.bestMs,
            volume.worstMs, kRounds, static_cast<long long>(volume.longestWaitMs), grown);
        if (!whole) {
            const Timing fade = Time(fake, [&](int round) { player->askFade(PlayerFade::In, round % 2 ? 1.0 : 1.5); });
            std::printf(
                "%lld MB song, a 30 s ringtone: a fade %.1f ms best, %.1f ms worst of %d; longest "
                "event-loop wait %lld ms\n",
                static_cast<long long>(megabytes), fade.bestMs, fade.worstMs, kRounds,
                static_cast<long long>(fade.longestWaitMs));
        }
        QFile::remove(source);
    }
    return 0;
}
