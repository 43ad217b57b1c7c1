// SPDX-License-Identifier: GPL-3.0-or-later
// How soon the program shows its window: `sundrel --new-window SONG`, as the
// desktop's "Open with" starts it, against a bare Qt Widgets window
// (bare_window), started in turns so that both meet the same machine. Timed
// from the start of the process to its window mapped and painted on the X
// server; each process is then ended. The song is chosen, and GStreamer started, after
// the window's first paint: it must cost the window nothing.
// A program to run by hand, not a test (an X server is needed):
//   xvfb-run -a build/bench/startup_bench [rounds]
// Goal: the window painted before the song is chosen and GStreamer started
// (before, they delayed it), within 3 times the bare window.

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kDefaultRounds = 10;
constexpr int kGiveUpMs = 20000;

// Mapped and painted: Qt's windows have no background of their own, so a
// window mapped but not yet painted is black on Xvfb, where every window
// of ours is painted grey (the palette's window colour) at the corner.
bool Painted(xcb_connection_t* x, xcb_window_t window) {
    auto* attributes = xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, window), nullptr);
    const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    if (!viewable) return false;
    auto* image = xcb_get_image_reply(x, xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 4, 4, 1, 1, ~0u), nullptr);
    bool painted = false;
    if (image) {
        const uint8_t* pixel = xcb_get_image_data(image);
        for (int i = 0; i < std::min(3, xcb_get_image_data_length(image)); ++i) painted = painted || pixel[i] != 0;
    }
    std::free(image);
    return painted;
}

// A window with this title under the root (or in a frame a window manager
// put around it), mapped and painted.
bool Titled(xcb_connection_t* x, xcb_window_t window, const QByteArray& title) {
    auto* name = xcb_get_property_reply(
        x, xcb_get_property(x, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
    const bool same = name && xcb_get_property_value_length(name) == title.size() &&
                      std::memcmp(xcb_get_property_value(name), title.constData(), size_t(title.size())) == 0;
    std::free(name);
    return same;
}

bool Shown(xcb_connection_t* x, xcb_window_t under, const QByteArray& title, int depth) {
    auto* tree = xcb_query_tree_reply(x, xcb_query_tree(x, under), nullptr);
    if (!tree) return false;
    bool found = false;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i)
        found = (Titled(x, children[i], title) && Painted(x, children[i])) ||
                (depth > 0 && Shown(x, children[i], title, depth - 1));
    std::free(tree);
    return found;
}

// Milliseconds from the start of the process to its window shown.
double TimeToWindow(xcb_connection_t* x, xcb_window_t root, const QString& program, const QStringList& arguments,
                    const QByteArray& title) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    double shownMs = -1;
    while (clock.elapsed() < kGiveUpMs) {
        if (Shown(x, root, title, 2)) {
            shownMs = double(clock.nsecsElapsed()) / 1e6;
            break;
        }
        QThread::usleep(500);
    }
    process.kill();
    process.waitForFinished();
    return shownMs;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : kDefaultRounds;
    const QString here = QString::fromLocal8Bit(argv[0]).section(QLatin1Char('/'), 0, -2);
    const QString program = here + QStringLiteral("/../app/sundrel");
    const QString bare = here + QStringLiteral("/bare_window");

    // A few seconds of silence as the song: a real MP3 that plays.
    QTemporaryDir dir;
    const QString song = dir.filePath(QStringLiteral("song.mp3"));
    QProcess lame;
    lame.start(QStringLiteral("lame"),
               {QStringLiteral("-r"), QStringLiteral("-s"), QStringLiteral("44.1"), QStringLiteral("-m"),
                QStringLiteral("m"), QStringLiteral("--silent"), QStringLiteral("-"), song});
    lame.write(QByteArray(44100 * 2 * 5, '\0'));
    lame.closeWriteChannel();
    if (!lame.waitForFinished() || lame.exitCode() != 0) {
        std::fprintf(stderr, "lame could not make the song\n");
        return 1;
    }

    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "no X server (run under xvfb-run)\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;

    std::vector<double> programMs, bareMs;
    for (int round = 0; round < rounds; ++round) {
        // In turns, the bare window first in even rounds, second in odd ones.
        for (int turn = 0; turn < 2; ++turn) {
            if ((round + turn) % 2 == 0)
                programMs.push_back(TimeToWindow(x, root, program, {QStringLiteral("--new-window"), song},
                                                 QByteArrayLiteral("SundrelV2.35")));
            else
                bareMs.push_back(TimeToWindow(x, root, bare, {QStringLiteral("bare")}, QByteArrayLiteral("bare")));
        }
    }
    xcb_disconnect(x);
    if (std::count(programMs.begin(), programMs.end(), -1.0) || std::count(bareMs.begin(), bareMs.end(), -1.0)) {
        std::fprintf(stderr, "a window did not show within %d ms\n", kGiveUpMs);
        return 1;
    }
    const double program50 = Median(programMs), bare50 = Median(bareMs);
    std::printf("window shown after (median of %d): sundrel %.1f ms, bare Qt window %.1f ms: %.2f times\n", rounds,
                program50, bare50, program50 / bare50);
    std::printf("sundrel: best %.1f, worst %.1f ms; bare: best %.1f, worst %.1f ms\n",
                *std::min_element(programMs.begin(), programMs.end()),
                *std::max_element(programMs.begin(), programMs.end()), *std::min_element(bareMs.begin(), bareMs.end()),
                *std::max_element(bareMs.begin(), bareMs.end()));
    return 0;
}
