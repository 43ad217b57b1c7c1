// SPDX-License-Identifier: GPL-3.0-or-later
// Plays a song in two players, as the main and preview windows do, until
// the first has moved on; exits 0 then, 1 if it never did. A test runs it
// with GStreamer's plugins narrowed down and reads what it says.
//   silent_player SONG

#include "media_player_widget.h"

#include <QApplication>
#include <QTest>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    sundrel::MediaPlayerWidget main(50);
    sundrel::MediaPlayerWidget preview(77);
    main.setURL(QString::fromLocal8Bit(argv[1]));
    return QTest::qWaitFor([&] { return main.currentPosition() > 0.3; }, 10000) ? 0 : 1;
}
