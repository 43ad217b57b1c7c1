// SPDX-License-Identifier: GPL-3.0-or-later
// How soon the player's waveform of a 5-minute 320 kbit/s stereo song is
// complete, how long the window's event loop is kept waiting meanwhile,
// what the peaks cost in memory, and how long zooming and dragging a mark
// take to redraw. A program to run by hand, not a test:
//   QT_QPA_PLATFORM=offscreen build/bench/waveform_bench
// Goals: complete within 2 s; no stall of the event loop over 20 ms; the
// peaks under 1 MB; each zoom step and each move of a dragged mark drawn
// within a frame at 60 Hz (16.7 ms). A length in minutes may be given:
//   QT_QPA_PLATFORM=offscreen build/bench/waveform_bench 20

#include "media_player_widget.h"
#include "peak_decoder.h"
#include "waveform_bar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

using namespace sundrel;

namespace {

int kSeconds = 300;
constexpr int kRate = 44100;
constexpr int kRounds = 3;
constexpr int kTickMs = 2;

// Stereo noise over a slow sweep: a song that keeps 320 kbit/s busy.
bool MakeSong(const QString& mp3) {
    const QString raw = mp3 + QStringLiteral(".raw");
    {
        std::ofstream out(raw.toStdString(), std::ios::binary);
        std::mt19937 noise(7);
        std::uniform_int_distribution<int> spread(-6000, 6000);
        double phase = 0;
        std::vector<std::int16_t> frame(2);
        for (long i = 0; i < long(kSeconds) * kRate; ++i) {
            phase += 2 * std::numbers::pi * (200 + 300 * std::sin(double(i) / kRate)) / kRate;
            const int v = int(9000 * std::sin(phase)) + spread(noise);
            frame[0] = std::int16_t(v);
            frame[1] = std::int16_t(-v / 2);
            out.write(reinterpret_cast<const char*>(frame.data()), 4);
        }
    }
    const std::string command = "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m j -b 320 '" +
                                raw.toStdString() + "' '" + mp3.toStdString() + "' 2>/dev/null";
    const bool made = std::system(command.c_str()) == 0;
    QFile::remove(raw);
    return made;
}

long ResidentKB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc > 1) kSeconds = std::max(1, std::atoi(argv[1])) * 60;
    QTemporaryDir dir;
    const QString song = dir.filePath(QStringLiteral("five-minutes-320k.mp3"));
    if (!MakeSong(song)) {
        std::fprintf(stderr, "lame could not make the song\n");
        return 1;
    }
    std::printf("song: %d s, 320 kbit/s stereo, %lld bytes\n", kSeconds, static_cast<long long>(QFile(song).size()));

    MediaPlayerWidget player(50);
    player.resize(432, 93);
    player.show();
    auto* bar = player.findChild<WaveformBar*>(QStringLiteral("seek"));

    const int rounds = kSeconds > 600 ? 1 : kRounds;
    for (int round = 1; round <= rounds; ++round) {
        player.setURL(QString());
        QApplication::processEvents();
        const long before = ResidentKB();

        // A timer that should fire every kTickMs: the longest gap between
        // two firings is the longest the event loop was kept waiting.
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        QElapsedTimer clock;
        clock.start();
        sinceTick.start();
        tick.start(kTickMs);
        QElapsedTimer load;
        load.start();
        player.setURL(song);
        const qint64 loadMs = load.elapsed();
        // The gaps while decoding, after the song was handed over.
        sinceTick.restart();
        longestGap = 0;
        // Waits as the program does, in an event loop, until the waveform is
        // complete and the chorus proposed (or the song has none).
        auto* decoder = player.findChild<PeakDecoder*>();
        qint64 complete = -1, proposed = -1;
        QEventLoop wait;
        const auto look = [&] {
            if (complete < 0 && bar->peaks() && bar->peaks()->finished) complete = clock.elapsed();
            if (proposed < 0 && decoder && decoder->analysis().Finished) proposed = clock.elapsed();
            if ((complete >= 0 && proposed >= 0) || (bar->peaks() && bar->peaks()->failed)) wait.quit();
        };
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, look);
        poll.start(5);
        QTimer::singleShot(30000, &wait, &QEventLoop::quit);
        wait.exec();
        tick.stop();
        std::printf("round %d: chorus proposed after %lld ms\n", round, static_cast<long long>(proposed));

        const Peaks& peaks = *bar->peaks();
        const std::size_t peakBytes = peaks.bins.capacity() * sizeof(Peaks::Bin);
        std::printf(
            "round %d: loading the song took %lld ms; waveform complete in %lld ms (%.1f s decoded, "
            "%zu bins); longest event-loop gap while decoding %lld ms; peaks %zu bytes; resident memory "
            "%+ld KB while playing\n",
            round, static_cast<long long>(loadMs), static_cast<long long>(complete), peaks.decodedSeconds,
            peaks.bins.size(), static_cast<long long>(longestGap), peakBytes, ResidentKB() - before);
    }
    // Zooming all the way in and out again, around the middle, and a mark
    // dragged across the zoomed view: each step handled and painted.
    const auto painted = [&](const std::function<void()>& step) {
        QElapsedTimer timer;
        timer.start();
        step();
        bar->repaint();
        return double(timer.nsecsElapsed()) / 1e6;
    };
    double zoomWorst = 0;
    int levels = 0;
    const double middle = kSeconds / 2.0;
    for (int direction : {1, -1}) {
        for (int i = 0; i < 12; ++i) {
            const int before = bar->zoomLevel();
            zoomWorst = std::max(zoomWorst, painted([&] { bar->zoom(direction, middle, bar->width() / 2.0); }));
            levels = std::max(levels, bar->zoomLevel());
            if (bar->zoomLevel() == before) break;
        }
    }
    player.setMarks(kSeconds / 2.0, kSeconds / 2.0 + 20);
    bar->zoom(3, middle, bar->width() / 2.0);
    const QPointF grab(bar->columnOf(middle), bar->height() / 2.0);
    const auto mouse = [&](QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, bar->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(bar, &event);
    };
    mouse(QEvent::MouseButtonPress, grab, Qt::LeftButton);
    double dragWorst = 0, dragSum = 0;
    int moves = 0;
    for (int x = 0; x < bar->width(); x += 2, ++moves) {
        const double ms = painted([&] { mouse(QEvent::MouseMove, QPointF(x, grab.y()), Qt::LeftButton); });
        dragWorst = std::max(dragWorst, ms);
        dragSum += ms;
    }
    mouse(QEvent::MouseButtonRelease, grab, Qt::NoButton);
    std::printf(
        "zoom: %d levels in and out, slowest step %.2f ms; dragging a mark on a zoomed view: "
        "%d moves, %.2f ms each on average, slowest %.2f ms\n",
        levels, zoomWorst, moves, dragSum / std::max(1, moves), dragWorst);
    return 0;
}
