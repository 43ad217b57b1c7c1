// SPDX-License-Identifier: GPL-3.0-or-later
// How soon a dropped mark gives the new ringtone: after a cut, the end mark
// is dropped elsewhere and the window cuts again at once. Timed from the
// drop to the kept file in place, on a 10 MB and a 300 MB song, with the
// longest wait of the window's event loop meanwhile.
// A program to run by hand, not a test:
//   QT_QPA_PLATFORM=offscreen build/bench/recut_bench [folder]
// Goals: 10 MB within 50 ms; on 300 MB no wait over 20 ms.

#include "fakes.h"
#include "framed_source.h"
#include "frm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <cstdio>

using namespace sundrel;
using namespace sundrel::testing;

namespace {

constexpr int kRounds = 5;
constexpr int kTickMs = 2;

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QTemporaryDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/bench-XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/bench-XXXXXX"));
    for (const std::int64_t megabytes : {10, 300}) {
        const QString source = dir.filePath(QStringLiteral("song%1.mp3").arg(megabytes));
        bench::WriteFramedSource(source.toStdString(), megabytes * 1'000'000);

        FakeServices fake;
        Frm frm(fake.services);
        frm.show();
        fake.desktop.openAnswers << source;
        frm.cmdBrowseS_Click();
        FakePlayer* player = fake.players[0];
        player->length = 300;  // the song's length in seconds
        player->position = 100;
        frm.cmdQ_Click();
        player->position = 130;
        frm.Command1_Click();

        // A timer that should fire every kTickMs: the longest gap between
        // two firings is the longest the window was kept waiting.
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        double best = 1e9, worst = 0;
        for (int round = 0; round < kRounds; ++round) {
            tick.start(kTickMs);
            QApplication::processEvents();
            sinceTick.start();
            QElapsedTimer timer;
            timer.start();
            player->dropMark(PlayerMark::End, round % 2 ? 130 : 140);
            const double ms = double(timer.nsecsElapsed()) / 1e6;
            tick.stop();
            best = std::min(best, ms);
            worst = std::max(worst, ms);
            if (!fake.desktop.messages.isEmpty() || !player->markEnd) {
                std::fprintf(stderr, "a cut failed\n");
                return 1;
            }
        }
        std::printf(
            "%lld MB song: drop to kept file %.1f ms best, %.1f ms worst of %d; "
            "longest event-loop wait %lld ms\n",
            static_cast<long long>(megabytes), best, worst, kRounds, static_cast<long long>(longestGap));
        QFile::remove(source);
    }
    return 0;
}
