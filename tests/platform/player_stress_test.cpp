// SPDX-License-Identifier: GPL-3.0-or-later
// Two songs loaded alternately, again and again, the way a user browses:
// the playing song is sought (as the keyboard does) and the next one is
// chosen straight after, sometimes asking for the position at once. Every
// load must start playing and move on. A watchdog thread ends the program
// with a failure if the event loop stops answering, so a wedged player
// fails the test instead of hanging the run.

#include "media_player_widget.h"
#include "mp3_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

using sundrel::MediaPlayerWidget;

namespace {

constexpr int kLoads = 200;
constexpr int kWait = 10000;  // ms for one load to play and move on

// Fails the whole program when the user-interface thread has not run its
// event loop for this long.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit) : limit_(limit), thread_([this] { watch(); })
    {
        QObject::connect(&beat_, &QTimer::timeout, [this] { lastBeat_ = Now(); });
        beat_.start(100);
    }
    ~Watchdog()
    {
        done_ = true;
        thread_.join();
    }

private:
    static long long Now()
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    void watch()
    {
        while (!done_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (Now() - lastBeat_ > std::chrono::milliseconds(limit_).count()) {
                std::fprintf(stderr, "FAIL: the event loop has not answered for %lld s: the player is wedged\n",
                             static_cast<long long>(limit_.count()));
                std::fflush(stderr);
                std::_Exit(3);
            }
        }
    }

    std::chrono::seconds limit_;
    std::atomic<long long> lastBeat_{Now()};
    std::atomic<bool> done_{false};
    QTimer beat_;
    std::thread thread_;
};

QString Status(const MediaPlayerWidget& player) { return player.findChild<QLabel*>(QStringLiteral("status"))->text(); }

}  // namespace

class PlayerStressTest : public QObject {
    Q_OBJECT

private slots:
    void everyLoadPlaysAndMovesOn()
    {
        QTemporaryDir dir;
        const QString songs[2] = {dir.filePath(QStringLiteral("a.mp3")), dir.filePath(QStringLiteral("b.mp3"))};
        QVERIFY(sundrel::test::MakeToneMp3(songs[0].toStdString(), 30.0));
        QVERIFY(sundrel::test::MakeSteppedToneMp3(songs[1].toStdString(), 25.0));

        Watchdog watchdog(std::chrono::seconds(30));
        MediaPlayerWidget player(50);
        QStringList failures;
        for (int i = 0; i < kLoads; ++i) {
            player.setURL(songs[i % 2]);
            if (i % 3 == 0)
                player.currentPosition();  // asked at once, before the song is open
            // Playing, and the position moves on by itself.
            double from = -1;
            const bool moved = QTest::qWaitFor(
                [&] {
                    if (Status(player) != QStringLiteral("正在播放"))
                        return false;
                    const double now = player.currentPosition();
                    if (from < 0 && now > 0)
                        from = now;
                    return from >= 0 && now > from + 0.1;
                },
                kWait);
            if (!moved) {
                failures << QStringLiteral("load %1 (%2): position %3 s, status %4")
                                .arg(i)
                                .arg(QFileInfo(songs[i % 2]).fileName())
                                .arg(player.currentPosition())
                                .arg(Status(player));
            }
            // Sought as the keyboard does, and the next song chosen while the
            // seek may still be under way; now and then after a short pause.
            player.seek(3.0 + i % 17);
            if (i % 4 == 1)
                QTest::qWait(i % 50);
        }
        std::printf("%d loads, %lld failed\n", kLoads, static_cast<long long>(failures.size()));
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(PlayerStressTest)
#include "player_stress_test.moc"
