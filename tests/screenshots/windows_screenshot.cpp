// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of every window of the tool with a real song loaded and cut,
// taken under a real X server. Each picture must show something: a window
// that paints nothing, or the wrong size, fails.

#include "fakes.h"
#include "frm.h"
#include "media_player_widget.h"
#include "midi_song.h"
#include "mp3_fixture.h"
#include "peak_decoder.h"
#include "waveform_bar.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace sundrel;
using namespace sundrel::testing;

namespace {

QWidget* TopLevel(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(name) && w->isVisible()) return w;
    return nullptr;
}

bool Save(QWidget* window, const QString& path) {
    if (!window || !QTest::qWaitForWindowExposed(window)) return false;
    QTest::qWait(300);  // let the player's time and the fonts settle
    const QImage picture = window->grab().toImage();
    // A blank window is one colour from corner to corner.
    const QRgb corner = picture.pixel(0, 0);
    bool varied = false;
    for (int y = 0; y < picture.height() && !varied; y += 3)
        for (int x = 0; x < picture.width() && !varied; x += 3) varied = picture.pixel(x, y) != corner;
    const bool saved = varied && picture.size() == window->size() && picture.save(path);
    std::printf("%s: %dx%d %s\n", qPrintable(path), picture.width(), picture.height(), saved ? "saved" : "FAILED");
    return saved;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());

    QTemporaryDir dir;
    const QString song = dir.filePath(QStringLiteral("夏天的风.mp3"));
    // Quiet, then loud: the waveform has something to show; at half of full
    // scale, so that its ringtone can be made louder.
    if (!sundrel::test::MakeQuietLoudMp3(song.toStdString(), 30, {"-V", "2"}, 1, 0.5)) return 1;

    SharedCutState shared;
    FakeDesktop desktop;
    AppServices services{shared, desktop, [](int volume) { return new MediaPlayerWidget(volume); }};
    Frm frm(services);
    frm.show();
    auto* player = frm.findChild<MediaPlayerWidget*>(QStringLiteral("MDplay"));
    desktop.openAnswers << song;
    frm.cmdBrowseS_Click();
    if (!QTest::qWaitFor([&] { return player->duration().value_or(0) > 29; }, 10000)) return 1;
    // The selection runs across the change from quiet to loud; the waveform
    // is complete before the picture.
    auto* bar = player->findChild<WaveformBar*>(QStringLiteral("seek"));
    if (!QTest::qWaitFor([&] { return bar->peaks() && bar->peaks()->finished; }, 10000)) return 1;
    player->pause();
    player->seek(11);
    QTest::qWait(300);
    frm.cmdQ_Click();
    player->seek(19);
    QTest::qWait(300);
    frm.Command1_Click();
    player->seek(16);
    QTest::qWait(300);
    frm.Timer1_Timer();

    frm.Command2_Click();
    const bool cut = Save(&frm, out.filePath(QStringLiteral("main-window-after-cut.png"))) &
                     Save(TopLevel("FrmST"), out.filePath(QStringLiteral("preview-window.png")));
    // The preview opens beside the main window and hides none of it: the
    // two together, as the screen shows them.
    QWidget* preview = TopLevel("FrmST");
    const bool beside = preview && !preview->frameGeometry().intersects(frm.frameGeometry());
    const QRect both = preview ? preview->frameGeometry().united(frm.frameGeometry()) : QRect();
    const QImage screen = frm.screen()->grabWindow(0, both.x(), both.y(), both.width(), both.height()).toImage();
    const bool together = beside && screen.save(out.filePath(QStringLiteral("main-and-preview.png")));
    std::printf("preview %s the main window\n", beside ? "beside" : "OVER");

    frm.Command3_Click();
    frm.Command4_Click();
    const bool all = cut & together & Save(TopLevel("FrmA"), out.filePath(QStringLiteral("about-window.png"))) &
                     Save(TopLevel("FrmO"), out.filePath(QStringLiteral("help-window.png")));
    // Zoomed in on the selection, both marks in view: the quiet half and
    // the loud one show their detail, the strip below where they lie in the
    // song; the waveform has the keyboard focus.
    frm.activateWindow();
    const bool active = QTest::qWaitForWindowActive(&frm);
    bar->setFocus();
    bar->zoom(1, 15.0, bar->width() / 2.0);
    const bool zoomed =
        active && bar->zoomLevel() == 1 && Save(&frm, out.filePath(QStringLiteral("main-window-zoomed.png")));
    // The whole song again, the ringtone with a 1 s fade in, a 2 s fade out
    // and 3 dB louder, from the keys.
    QTest::keyClick(bar, Qt::Key_0);
    for (const Qt::Key key : {Qt::Key_I, Qt::Key_I, Qt::Key_O, Qt::Key_O, Qt::Key_O, Qt::Key_O})
        QTest::keyClick(bar, key);
    QTest::keyClick(bar, Qt::Key_Up, Qt::ControlModifier);
    QTest::keyClick(bar, Qt::Key_Up, Qt::ControlModifier);
    const KeptGain shape = frm.keptGain();
    bool shaped = shape == KeptGain{1.0, 2.0, 2} && Save(&frm, out.filePath(QStringLiteral("main-window-shaped.png")));
    // The open preview plays the new ringtone: its own waveform, decoded
    // from the kept file, shows the fades and the louder sound.
    auto* heard = preview ? preview->findChild<WaveformBar*>(QStringLiteral("seek")) : nullptr;
    shaped = shaped && heard && QTest::qWaitFor([&] { return heard->peaks() && heard->peaks()->finished; }, 10000) &&
             Save(preview, out.filePath(QStringLiteral("preview-window-shaped.png")));
    std::printf("fades %.1f s and %.1f s, volume %+d steps\n", shape.FadeInSeconds, shape.FadeOutSeconds,
                shape.VolumeSteps);

    // A pop song, its chorus found and drawn as the proposal, playing.
    sundrel::test::SongPlan plan;
    plan.name = "pop";
    plan.bpm = 112;
    plan.key = 5;
    using sundrel::test::Part;
    plan.form = {{Part::Intro, 2}, {Part::Verse, 8},  {Part::Chorus, 8}, {Part::Verse, 8},
                 {Part::Chorus, 8}, {Part::Bridge, 4}, {Part::Chorus, 8}, {Part::Outro, 2}};
    const QString pop = dir.filePath(QStringLiteral("晴天.mp3"));
    bool proposed = sundrel::test::MakeSongMp3(pop.toStdString(), plan);
    desktop.openAnswers << pop;
    frm.cmdBrowseS_Click();
    proposed = proposed && QTest::qWaitFor(
                               [&] {
                                   auto* decoder = player->findChild<PeakDecoder*>();
                                   return decoder && decoder->analysis().Finished;
                               },
                               30000);
    player->seek(50);
    proposed = proposed && Save(&frm, out.filePath(QStringLiteral("main-window-proposal.png")));
    return all && zoomed && shaped && proposed ? 0 : 1;
}
