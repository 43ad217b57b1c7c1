// SPDX-License-Identifier: GPL-3.0-or-later
// What the window's event pass costs a long cut: the whole End command on
// a 200 MB song, with the real Qt event pass before each block, against the
// engine's cut of the same pieces with a hook that does nothing.
// A program to run by hand, not a test:
//   QT_QPA_PLATFORM=offscreen build/bench/cut_event_pass_bench [folder]
// Goal: the End command costs at most 1.5 times the bare cut.

#include "cut_engine.h"
#include "fakes.h"
#include "framed_source.h"
#include "frm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>

using namespace sundrel;
using namespace sundrel::testing;

namespace {

constexpr std::int64_t kSourceBytes = 200'000'000;
constexpr int kRounds = 3;

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QTemporaryDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/bench-XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/bench-XXXXXX"));
    const QString source = dir.filePath(QStringLiteral("song.mp3"));
    bench::WriteFramedSource(source.toStdString(), kSourceBytes);

    FakeServices fake;
    Frm frm(fake.services);
    frm.show();
    fake.desktop.openAnswers << source;
    frm.cmdBrowseS_Click();
    FakePlayer* player = fake.players[0];
    player->length = 200;  // a 200 s song: 1 s is 1 MB
    player->position = 100;
    frm.cmdQ_Click();

    double bestWindow = 1e9;
    double bestEngine = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        player->position = 101;
        QElapsedTimer timer;
        timer.start();
        frm.Command1_Click();
        bestWindow = std::min(bestWindow, double(timer.nsecsElapsed()) / 1e9);

        // The very pieces the window planned, with a hook that does nothing.
        const CutState planned = frm.cutState();
        timer.restart();
        const WrittenPieces written = WritePieces(planned, [] { return true; });
        const bool clean = RemoveOuterPieces(written);
        bestEngine = std::min(bestEngine, double(timer.nsecsElapsed()) / 1e9);
        if (!written.Kept || !clean || !fake.desktop.messages.isEmpty()) {
            std::fprintf(stderr, "a cut failed\n");
            return 1;
        }
    }
    std::printf("End command with the Qt event pass: %.3f s\n", bestWindow);
    std::printf("engine cut with a no-op hook:       %.3f s\n", bestEngine);
    std::printf("ratio %.2f (goal: at most 1.5); best of %d, source %lld bytes\n", bestWindow / bestEngine, kRounds,
                static_cast<long long>(kSourceBytes));
    return 0;
}
