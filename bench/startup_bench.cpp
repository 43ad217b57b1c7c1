// SPDX-License-Identifier: GPL-3.0-or-later
// How soon the program shows its window: `sundrel --new-window SONG`, as the
// desktop's "Open with" starts it, against a bare Qt Widgets window
// (bare_window), started in turns so that both meet the same machine. Timed
// from the start of the process to its window mapped and painted on the X
// server; each process is then ended. The song is chosen, and GStreamer started, after
// the window's first paint: it must cost the window nothing.
// A program to run by hand, not a test (an X server is needed):
//   xvfb-run -a build/bench/startup_bench [rounds] [other-sundrel...]
// Other builds of the program named after the rounds are timed in the same
// turns, so that a change is measured against the code before it under the
// same load.
// Goal: within 1.3 times the bare window.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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

// The processor time a process has had so far, all its threads together,
// in milliseconds: the first figure of each thread's schedstat is its time
// on a processor in nanoseconds.
double ProcessorMs(qint64 pid)
{
    double ns = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (stat.open(QIODevice::ReadOnly))
            ns += stat.readAll().split(' ').value(0).toDouble();
    }
    return ns / 1e6;
}

struct Start {
    double wallMs = -1;       // from the start of the process to its window shown
    double processorMs = -1;  // the processor time it had taken by then
};

Start TimeToWindow(xcb_connection_t* x, xcb_window_t root, const QString& program, const QStringList& arguments,
                   const QByteArray& title)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    Start start;
    while (clock.elapsed() < kGiveUpMs) {
        if (Shown(x, root, title, 2)) {
            start.wallMs = double(clock.nsecsElapsed()) / 1e6;
            start.processorMs = ProcessorMs(process.processId());
            break;
        }
        QThread::usleep(500);
    }
    process.kill();
    process.waitForFinished();
    return start;
}

QString ReadLoad()
{
    QFile load(QStringLiteral("/proc/loadavg"));
    return load.open(QIODevice::ReadOnly) ? QString::fromLatin1(load.readAll()) : QStringLiteral("?\n");
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : kDefaultRounds;
    const QString here = QString::fromLocal8Bit(argv[0]).section(QLatin1Char('/'), 0, -2);
    // The program built here, then any other builds named to set beside it
    // (an earlier one, to see what a change gained), each timed in turn.
    QStringList programs{here + QStringLiteral("/../app/sundrel")};
    for (int i = 2; i < argc; ++i)
        programs << QString::fromLocal8Bit(argv[i]);
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

    // In turns, each round starting one further along, so that none is
    // always the first after a pause or the one after another.
    const int kinds = int(programs.size()) + 1;
    std::vector<std::vector<double>> wallMs(static_cast<size_t>(kinds)), processorMs(static_cast<size_t>(kinds));
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < kinds; ++turn) {
            const int kind = (round + turn) % kinds;
            const Start start =
                kind == 0 ? TimeToWindow(x, root, bare, {QStringLiteral("bare")}, QByteArrayLiteral("bare"))
                          : TimeToWindow(x, root, programs.at(kind - 1), {QStringLiteral("--new-window"), song},
                                         QByteArrayLiteral("SundrelV2.35"));
            if (start.wallMs < 0) {
                std::fprintf(stderr, "a window did not show within %d ms\n", kGiveUpMs);
                return 1;
            }
            wallMs[size_t(kind)].push_back(start.wallMs);
            processorMs[size_t(kind)].push_back(start.processorMs);
        }
    }
    xcb_disconnect(x);
    // The wall time is what the user waits; the processor time, which the
    // other work on the machine stretches far less, says where a change
    // stands when the load comes and goes.
    const double bareWall = Median(wallMs[0]), bareProcessor = Median(processorMs[0]);
    std::printf("window shown after (median of %d), wall time and processor time:\n", rounds);
    std::printf("  bare Qt window: %.1f ms (best %.1f), processor %.1f ms\n", bareWall,
                *std::min_element(wallMs[0].begin(), wallMs[0].end()), bareProcessor);
    for (int kind = 1; kind < kinds; ++kind) {
        const auto& wall = wallMs[size_t(kind)];
        const double programWall = Median(wall), programProcessor = Median(processorMs[size_t(kind)]);
        std::printf("  %s: %.1f ms (best %.1f), %.2f times; processor %.1f ms, %.2f times\n",
                    qPrintable(programs.at(kind - 1)), programWall, *std::min_element(wall.begin(), wall.end()),
                    programWall / bareWall, programProcessor, programProcessor / bareProcessor);
    }
    std::printf("load average: %s", qPrintable(ReadLoad()));
    return 0;
}
