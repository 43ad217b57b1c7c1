// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window with the real player on real files; only the dialogs,
// message boxes and file manager are faked.

#include "fakes.h"
#include "frm.h"
#include "media_player_widget.h"

#include <QLineEdit>
#include <QTest>

#include <cmath>

namespace sundrel::testing {

struct RealWindow {
    SharedCutState shared;
    FakeDesktop desktop;
    AppServices services{shared, desktop, [](int volume) { return new MediaPlayerWidget(volume); }};
    Frm frm{services};

    MediaPlayerWidget* player() const { return frm.findChild<MediaPlayerWidget*>(QStringLiteral("MDplay")); }
    QString field(int i) const { return frm.findChild<QLineEdit*>(QStringLiteral("txtSplit(%1)").arg(i))->text(); }

    // Chooses the song in the open dialog and waits until the player knows
    // its length.
    bool choose(const QString& song, double atLeastSeconds)
    {
        desktop.openAnswers << song;
        frm.cmdBrowseS_Click();
        return QTest::qWaitFor([&] { return player()->duration().value_or(0) > atLeastSeconds; }, 10000);
    }

    // Pauses and moves the player, then waits until it is there.
    bool seekTo(double seconds)
    {
        player()->pause();
        player()->seek(seconds);
        return QTest::qWaitFor([&] { return std::abs(player()->currentPosition() - seconds) < 0.05; }, 10000);
    }
};

}  // namespace sundrel::testing
