// SPDX-License-Identifier: GPL-3.0-or-later
// Resident memory as the tool is used: 150 cuts of one song with a click on
// the waveform before each press, then 200 cycles of loading a song and
// cutting it. The real window, player and waveform; only dialogs are fakes.
// Run by hand, offscreen: QT_QPA_PLATFORM=offscreen memory_bench [folder]

#include "mp3_fixture.h"
#include "real_window.h"
#include "waveform_bar.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

using namespace sundrel;
using namespace sundrel::testing;

namespace {

constexpr double kSongSeconds = 60;
constexpr int kCuts = 150;
constexpr int kCycles = 200;

// Heap in use, all arenas: what the program still holds, apart from what
// the allocator keeps for reuse.
double HeapMB() { return double(mallinfo2().uordblks) / (1024.0 * 1024.0); }

double ResidentMB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A click on the waveform at a share of its width, as a user seeks; then a
// moment for the player to get there.
void ClickWaveform(RealWindow& w, double share) {
    auto* bar = w.player()->findChild<WaveformBar*>(QStringLiteral("seek"));
    const QPoint at(int(share * (bar->width() - 1)), bar->height() / 2);
    QTest::mouseClick(bar, Qt::LeftButton, {}, at);
    QTest::qWait(20);
}

bool Cut(RealWindow& w, double share) {
    ClickWaveform(w, share);
    w.frm.cmdQ_Click();
    ClickWaveform(w, share + 0.05);
    w.frm.Command1_Click();
    return w.desktop.messages.isEmpty();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTemporaryDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/bench-XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/bench-XXXXXX"));
    const QString song = dir.filePath(QStringLiteral("song.mp3"));
    if (!sundrel::test::MakeSteppedToneMp3(song.toStdString(), kSongSeconds)) {
        std::fprintf(stderr, "lame failed\n");
        return 1;
    }

    RealWindow w;
    w.frm.show();
    if (!w.choose(song, kSongSeconds - 1)) {
        std::fprintf(stderr, "the song did not load\n");
        return 1;
    }
    QTest::qWait(2000);  // the waveform decoded, the first paints done
    double first = 0;
    for (int cut = 0; cut <= kCuts; ++cut) {
        if (cut == 1) first = ResidentMB();
        if (!Cut(w, 0.1 + 0.8 * ((cut * 37) % 100) / 100.0)) {
            std::fprintf(stderr, "cut %d refused\n", cut);
            return 1;
        }
        if (cut % 50 == 0) std::printf("cut %3d: %.1f MB resident, %.2f MB heap\n", cut, ResidentMB(), HeapMB());
    }
    const double afterCuts = ResidentMB();
    std::printf("%d cuts with waveform clicks: %.1f -> %.1f MB (%+.0f KB)\n", kCuts, first, afterCuts,
                (afterCuts - first) * 1024);

    double at20 = 0;
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        if (!w.choose(song, kSongSeconds - 1) || !Cut(w, 0.3)) {
            std::fprintf(stderr, "cycle %d failed\n", cycle);
            return 1;
        }
        if (cycle == 20) at20 = ResidentMB();
        if (cycle % 40 == 0) std::printf("cycle %3d: %.1f MB resident, %.2f MB heap\n", cycle, ResidentMB(), HeapMB());
    }
    const double afterCycles = ResidentMB();
    std::printf("%d load-and-cut cycles: %.1f MB after 20, %.1f MB after %d (%+.0f KB)\n", kCycles, at20, afterCycles,
                kCycles, (afterCycles - at20) * 1024);
    return 0;
}
