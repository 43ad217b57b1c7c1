// SPDX-License-Identifier: GPL-3.0-or-later
// Saves a picture of an X window, found by its id, as a PNG.
// Usage: grab_window 0x2a0000a out.png

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: grab_window WINDOW-ID OUT.png\n");
        return 2;
    }
    bool ok = false;
    const WId id = QString::fromLatin1(argv[1]).toULongLong(&ok, 0);
    const QPixmap picture = ok ? QGuiApplication::primaryScreen()->grabWindow(id) : QPixmap();
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "could not grab window %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %dx%d\n", argv[2], picture.width(), picture.height());
    return 0;
}
