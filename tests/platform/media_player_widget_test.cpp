// SPDX-License-Identifier: GPL-3.0-or-later
// The real player (GStreamer's playbin) on real MP3
// files made by the fixtures. Without a sound card it still opens the file,
// learns its length and moves its position, which is all that is checked.
// Waits are for conditions, with generous limits; nothing here is timed.

#include "media_player_widget.h"
#include "mp3_fixture.h"
#include "peak_decoder.h"
#include "peaks.h"
#include "waveform_bar.h"

#include <QAccessible>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>

using sundrel::ClockText;
using sundrel::MediaPlayerWidget;
using sundrel::WaveformBar;

namespace {

constexpr int kWait = 10000;  // ms; loading takes far less, but machines vary

std::filesystem::path Native(const QString& path) { return std::filesystem::path(path.toStdString()); }

// How many of this process's open files are the given file: the player must
// hold the file while playing it and let go of it when emptied.
int OpenHandlesOn(const QString& path)
{
    std::error_code error;
    const auto target = std::filesystem::canonical(Native(path), error);
    if (error) {
        return 0;
    }
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code ignored;
        if (std::filesystem::read_symlink(entry.path(), ignored) == target) {
            ++count;
        }
    }
    return count;
}

QString TextOf(const QWidget& player, const char* name)
{
    const auto* label = player.findChild<QLabel*>(QString::fromLatin1(name));
    return label != nullptr ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

WaveformBar* Bar(const QWidget& player) { return player.findChild<WaveformBar*>(QStringLiteral("seek")); }

QString StatusOf(const QWidget& player) { return TextOf(player, "status"); }

// What this process writes to standard error while `run` runs, by lines.
QStringList StandardErrorOf(const QString& file, const std::function<void()>& run)
{
    std::fflush(stderr);
    const int saved = dup(2);
    const int into = open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(into, 2);
    run();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(into);
    QFile said(file);
    return said.open(QIODevice::ReadOnly)
               ? QString::fromLocal8Bit(said.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
               : QStringList{QStringLiteral("<unreadable>")};
}

// Reads a looping player's position about every 20 ms until it has gone
// back to the stretch's start `wraps` times, or the wait runs out: whether
// it did, never leaving [from, to] by more than 0.1 s. What it saw is told.
bool Loops(const MediaPlayerWidget& player, double from, double to, int wraps = 2)
{
    int seen = 0;
    double lowest = 1e9, highest = -1e9, last = player.currentPosition();
    for (const QDeadlineTimer limit(3 * kWait); seen < wraps && !limit.hasExpired();) {
        QTest::qWait(20);
        const double now = player.currentPosition();
        seen += now < last - 0.5 ? 1 : 0;
        lowest = std::min(lowest, now);
        highest = std::max(highest, now);
        last = now;
    }
    qInfo("%d wraps within %.3f..%.3f s", seen, lowest, highest);
    return seen >= wraps && lowest >= from - 0.1 && highest <= to + 0.1;
}

// What a failed wait reports about the player.
QString Describe(const MediaPlayerWidget& player)
{
    return QStringLiteral("position %1 s, duration %2 s, status %3")
        .arg(player.currentPosition())
        .arg(player.duration().value_or(-1))
        .arg(StatusOf(player));
}

}  // namespace

class MediaPlayerWidgetTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void clockText_data();
    void clockText();
    void emptyBeforeAnyUrl();
    void loadsPlaysAndReportsDuration();
    void seekMovesThePosition();
    void seekRightAfterLoadingIsKept();
    void pauseHoldsThePosition();
    void settingTheSameUrlRestartsFromTheBeginning();
    void settingTheSameUrlRereadsARewrittenFile();
    void emptyUrlReleasesTheFile();
    void unplayableFileShowsStatusOnly_data();
    void unplayableFileShowsStatusOnly();
    void volumeIsAppliedToTheOutput();
    void noContextMenuAnywhere();
    void controlsFitTheWindows_data();
    void controlsFitTheWindows();
    void playButtonTogglesAndStopRewinds();
    void waveformSeeksByPointerAndKeys();
    void topLineTellsTheSelectionExactly();
    void saysOnceWhenNothingCanBeHeard_data();
    void saysOnceWhenNothingCanBeHeard();
    void loudestSampleIsTheStretchsOwn();
    void loopsAStretchAndFollowsItsChanges();
    void loopButtonLoopsBetweenTheMarks();

private:
    // A loaded, playing player on the 30-second tone.
    std::unique_ptr<MediaPlayerWidget> playingTone();

    QTemporaryDir dir_;
    QString tone_;
    QString stepped_;  // 12 s, a pitch of its own in each second
};

void MediaPlayerWidgetTest::initTestCase()
{
    QVERIFY(dir_.isValid());
    tone_ = dir_.filePath(QStringLiteral("tone.mp3"));
    QVERIFY(sundrel::test::MakeToneMp3(Native(tone_), 30.0));
    stepped_ = dir_.filePath(QStringLiteral("stepped.mp3"));
    QVERIFY(sundrel::test::MakeSteppedToneMp3(Native(stepped_), 12.0));
}

std::unique_ptr<MediaPlayerWidget> MediaPlayerWidgetTest::playingTone()
{
    auto player = std::make_unique<MediaPlayerWidget>(50);
    player->setURL(tone_);
    const bool playing =
        QTest::qWaitFor([&] { return player->duration().value_or(0) > 29 && player->currentPosition() > 0.1; }, kWait);
    return playing ? std::move(player) : nullptr;
}

void MediaPlayerWidgetTest::clockText_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << QStringLiteral("0:00");
    QTest::newRow("rounds down") << qint64(12999) << QStringLiteral("0:12");
    QTest::newRow("half minute") << qint64(30000) << QStringLiteral("0:30");
    QTest::newRow("minutes") << qint64(754000) << QStringLiteral("12:34");
    QTest::newRow("hours") << qint64(3723000) << QStringLiteral("1:02:03");
    QTest::newRow("negative") << qint64(-5) << QStringLiteral("0:00");
}

void MediaPlayerWidgetTest::clockText()
{
    QFETCH(qint64, ms);
    QFETCH(QString, text);
    QCOMPARE(ClockText(ms), text);
}

void MediaPlayerWidgetTest::emptyBeforeAnyUrl()
{
    MediaPlayerWidget player(50);
    QCOMPARE(player.URL(), QString());
    QVERIFY(!player.duration().has_value());
    QCOMPARE(player.currentPosition(), 0.0);
    QCOMPARE(TextOf(player, "title"), QString());
    QCOMPARE(StatusOf(player), QStringLiteral("就绪"));
    QCOMPARE(TextOf(player, "time"), QStringLiteral("0:00 / 0:00"));
    QVERIFY(!player.findChild<QToolButton*>(QStringLiteral("play"))->isEnabled());
    player.pause();  // nothing to pause, and no harm done
    QVERIFY(!player.duration().has_value());
}

void MediaPlayerWidgetTest::loadsPlaysAndReportsDuration()
{
    MediaPlayerWidget player(50);
    player.setURL(tone_);
    QCOMPARE(player.URL(), tone_);
    // Known to be loaded at once, even if its length is not known yet.
    QVERIFY(player.duration().has_value());
    QCOMPARE(TextOf(player, "title"), QStringLiteral("tone.mp3"));

    QTRY_VERIFY_WITH_TIMEOUT(std::abs(player.duration().value_or(0) - 30.0) < 0.5, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(player.currentPosition() > 0.3, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(StatusOf(player), QStringLiteral("正在播放"), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(TextOf(player, "time").endsWith(QStringLiteral(" / 0:30")), kWait);
    QVERIFY(player.findChild<QToolButton*>(QStringLiteral("play"))->isEnabled());
}

void MediaPlayerWidgetTest::seekMovesThePosition()
{
    const auto player = playingTone();
    QVERIFY(player);
    // Paused, nothing but the seek can move the position.
    player->pause();
    QTRY_COMPARE_WITH_TIMEOUT(StatusOf(*player), QStringLiteral("已暂停"), kWait);
    player->seek(10.0);
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(player->currentPosition() - 10.0) < 0.1, kWait);
    QCOMPARE(StatusOf(*player), QStringLiteral("已暂停"));
    QTRY_COMPARE_WITH_TIMEOUT(TextOf(*player, "time"), QStringLiteral("0:10 / 0:30"), kWait);

    // Playing, it goes on from the new place; within the wait, playing alone
    // would not get this far.
    player->findChild<QToolButton*>(QStringLiteral("play"))->click();
    player->seek(25.0);
    QTRY_VERIFY_WITH_TIMEOUT(player->currentPosition() >= 24.9 && player->currentPosition() < 28.0, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(Bar(*player)->positionSeconds() >= 24.9, kWait);
}

void MediaPlayerWidgetTest::seekRightAfterLoadingIsKept()
{
    MediaPlayerWidget player(50);
    player.setURL(tone_);
    player.seek(15.0);
    QTRY_VERIFY_WITH_TIMEOUT(player.currentPosition() >= 14.9 && player.currentPosition() < 18.0, kWait);
}

void MediaPlayerWidgetTest::pauseHoldsThePosition()
{
    const auto player = playingTone();
    QVERIFY(player);
    player->pause();
    QTRY_COMPARE_WITH_TIMEOUT(StatusOf(*player), QStringLiteral("已暂停"), kWait);
    const double held = player->currentPosition();
    // Playing, the position would move on by this much in the same time.
    QTest::qWait(800);
    QVERIFY2(std::abs(player->currentPosition() - held) < 0.1,
             qPrintable(QStringLiteral("moved from %1 to %2").arg(held).arg(player->currentPosition())));
    QCOMPARE(player->URL(), tone_);
}

void MediaPlayerWidgetTest::settingTheSameUrlRestartsFromTheBeginning()
{
    const auto player = playingTone();
    QVERIFY(player);
    player->seek(20.0);
    QTRY_VERIFY_WITH_TIMEOUT(player->currentPosition() >= 19.9, kWait);
    // Held there, so that only a restart can make it play or go back.
    player->pause();
    QTRY_COMPARE_WITH_TIMEOUT(StatusOf(*player), QStringLiteral("已暂停"), kWait);

    player->setURL(tone_);
    QCOMPARE(player->URL(), tone_);
    QTRY_COMPARE_WITH_TIMEOUT(StatusOf(*player), QStringLiteral("正在播放"), kWait);
    QTRY_VERIFY2_WITH_TIMEOUT(player->currentPosition() > 0.2 && player->currentPosition() < 19.0,
                              qPrintable(Describe(*player)), kWait);
}

void MediaPlayerWidgetTest::settingTheSameUrlRereadsARewrittenFile()
{
    const QString path = dir_.filePath(QStringLiteral("rewritten.mp3"));
    QVERIFY(sundrel::test::MakeToneMp3(Native(path), 30.0));
    MediaPlayerWidget player(77);
    player.setURL(path);
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(player.duration().value_or(0) - 30.0) < 0.5, kWait);

    // A new cut is written under the name the preview already plays.
    QVERIFY(sundrel::test::MakeToneMp3(Native(path), 12.0, 660.0));
    player.setURL(path);
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(player.duration().value_or(0) - 12.0) < 0.5, kWait);
}

void MediaPlayerWidgetTest::emptyUrlReleasesTheFile()
{
    const QString path = dir_.filePath(QStringLiteral("release.mp3"));
    QVERIFY(QFile::copy(tone_, path));
    MediaPlayerWidget player(77);
    player.setURL(path);
    QTRY_VERIFY_WITH_TIMEOUT(player.duration().value_or(0) > 29, kWait);
    // The check below can see the file held; otherwise it would prove nothing.
    QTRY_VERIFY_WITH_TIMEOUT(OpenHandlesOn(path) > 0, kWait);

    player.setURL(QString());
    QCOMPARE(player.URL(), QString());
    QVERIFY(!player.duration().has_value());
    QCOMPARE(TextOf(player, "title"), QString());
    QCOMPARE(StatusOf(player), QStringLiteral("就绪"));
    QTRY_COMPARE_WITH_TIMEOUT(OpenHandlesOn(path), 0, kWait);

    // The preview window deletes the file right away, and a new cut may
    // write it again.
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::copy(tone_, path));
}

void MediaPlayerWidgetTest::unplayableFileShowsStatusOnly_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing") << QStringLiteral("missing.mp3") << QByteArray();
    QTest::newRow("not sound") << QStringLiteral("notes.mp3")
                               << QByteArray("This is a text file, not an MP3.\n").repeated(200);
}

void MediaPlayerWidgetTest::unplayableFileShowsStatusOnly()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    const QString path = dir_.filePath(name);
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    MediaPlayerWidget player(50);
    player.show();
    const QStringList lines = StandardErrorOf(dir_.filePath(QStringLiteral("stderr.txt")), [&] {
        player.setURL(path);
        QTRY_COMPARE_WITH_TIMEOUT(StatusOf(player), QStringLiteral("无法播放此文件"), kWait);
    });
    QCOMPARE(player.URL(), path);
    QCOMPARE(StatusOf(player), QStringLiteral("无法播放此文件"));
    // GStreamer's reason, for whoever looks, in one line; a file that never
    // reaches GStreamer (missing) has none.
    if (content.isEmpty()) {
        QVERIFY2(lines.filter(name).isEmpty(), qPrintable(lines.join(QLatin1Char('\n'))));
    } else {
        QCOMPARE(lines.filter(name).size(), 1);
        QVERIFY2(lines.filter(name)[0].startsWith(QStringLiteral("Sundrel: cannot play ")) &&
                     lines.filter(name)[0].contains(QStringLiteral("text file")),
                 qPrintable(lines.join(QLatin1Char('\n'))));
    }
    QVERIFY(player.duration() == std::optional<double>(0.0));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        QVERIFY2(!(window->isVisible() && qobject_cast<QDialog*>(window) != nullptr),
                 qPrintable(window->windowTitle()));
    }

    // A good file afterwards loads as usual.
    player.setURL(tone_);
    QTRY_VERIFY2_WITH_TIMEOUT(std::abs(player.duration().value_or(0) - 30.0) < 0.5, qPrintable(Describe(player)),
                              kWait);
    QVERIFY(StatusOf(player) != QStringLiteral("无法播放此文件"));
}

void MediaPlayerWidgetTest::volumeIsAppliedToTheOutput()
{
    MediaPlayerWidget mainPlayer(50);
    MediaPlayerWidget previewPlayer(77);
    QCOMPARE(mainPlayer.volume(), 50);
    QCOMPARE(previewPlayer.volume(), 77);
    auto* slider = previewPlayer.findChild<QSlider*>(QStringLiteral("volume"));
    QVERIFY(slider != nullptr);
    QCOMPARE(slider->value(), 77);

    slider->setValue(20);
    QCOMPARE(previewPlayer.volume(), 20);
    QCOMPARE(mainPlayer.volume(), 50);
}

void MediaPlayerWidgetTest::noContextMenuAnywhere()
{
    MediaPlayerWidget player(50);
    player.setURL(tone_);
    QCOMPARE(player.contextMenuPolicy(), Qt::NoContextMenu);
    const auto children = player.findChildren<QWidget*>();
    QVERIFY(children.size() >= 6);
    for (const QWidget* child : children) {
        QVERIFY2(child->contextMenuPolicy() == Qt::NoContextMenu, qPrintable(child->objectName()));
    }
}

void MediaPlayerWidgetTest::controlsFitTheWindows_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("main window") << QSize(432, 93);
    QTest::newRow("preview window") << QSize(312, 213);
}

void MediaPlayerWidgetTest::controlsFitTheWindows()
{
    QFETCH(QSize, size);
    QWidget window;
    auto* player = new MediaPlayerWidget(50, &window);
    player->setGeometry(QRect(QPoint(0, 0), size));
    window.resize(size);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    player->setURL(dir_.filePath(QStringLiteral("一个名字很长很长很长很长很长很长很长很长的铃声文件.mp3")));

    const QSize least = player->minimumSizeHint();
    QVERIFY2(least.width() <= size.width() && least.height() <= size.height(),
             qPrintable(QStringLiteral("needs %1x%2").arg(least.width()).arg(least.height())));
    const QRect inside(QPoint(0, 0), size);
    for (const char* name : {"display", "title", "status", "play", "stop", "seek", "time", "speaker", "volume"}) {
        const auto* control = player->findChild<QWidget*>(QString::fromLatin1(name));
        QVERIFY2(control != nullptr, name);
        QVERIFY2(control->isVisible(), name);
        const QRect place(control->mapTo(player, QPoint(0, 0)), control->size());
        QVERIFY2(inside.contains(place), name);
        QVERIFY2(place.height() >= 12 && place.width() >= 12, name);
    }
    const auto* seek = player->findChild<QWidget*>(QStringLiteral("seek"));
    QVERIFY(seek->width() >= 60);
    // The time text is never cut off, even at its widest ordinary value.
    auto* time = player->findChild<QLabel*>(QStringLiteral("time"));
    time->setText(QStringLiteral("58:58 / 59:59"));
    QVERIFY(time->width() >= time->fontMetrics().horizontalAdvance(time->text()));
}

void MediaPlayerWidgetTest::playButtonTogglesAndStopRewinds()
{
    const auto player = playingTone();
    QVERIFY(player);
    auto* play = player->findChild<QToolButton*>(QStringLiteral("play"));
    auto* stop = player->findChild<QToolButton*>(QStringLiteral("stop"));
    QVERIFY(play != nullptr && stop != nullptr);
    QCOMPARE(play->toolTip(), QStringLiteral("暂停"));

    play->click();
    QTRY_COMPARE_WITH_TIMEOUT(StatusOf(*player), QStringLiteral("已暂停"), kWait);
    QCOMPARE(play->toolTip(), QStringLiteral("播放"));
    const double held = player->currentPosition();

    play->click();
    QTRY_COMPARE_WITH_TIMEOUT(StatusOf(*player), QStringLiteral("正在播放"), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(player->currentPosition() > held + 0.2, kWait);

    stop->click();
    QTRY_COMPARE_WITH_TIMEOUT(StatusOf(*player), QStringLiteral("已停止"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(player->currentPosition(), 0.0, kWait);
    QCOMPARE(player->URL(), tone_);
    QVERIFY(player->duration().has_value());
}

void MediaPlayerWidgetTest::waveformSeeksByPointerAndKeys()
{
    const auto player = playingTone();
    QVERIFY(player);
    player->resize(432, 93);
    player->show();
    QVERIFY(QTest::qWaitForWindowExposed(player.get()));
    WaveformBar* bar = Bar(*player);
    const QPoint at20s(bar->columnOf(20.0) + 1, bar->height() / 2);

    // The user presses at 0:20 and holds while the song plays on: the time
    // shows where the press would land, playback does not jump yet.
    QTest::mousePress(bar, Qt::LeftButton, {}, at20s);
    const double grabbed = player->currentPosition();
    QTRY_VERIFY_WITH_TIMEOUT(player->currentPosition() > grabbed + 0.5, kWait);
    QCOMPARE(TextOf(*player, "time"), QStringLiteral("0:20 / 0:30"));
    QVERIFY(player->currentPosition() < 10.0);
    // Letting go moves playback there.
    QTest::mouseRelease(bar, Qt::LeftButton, {}, at20s);
    QTRY_VERIFY_WITH_TIMEOUT(player->currentPosition() >= 19.9 && player->currentPosition() < 23.0, kWait);

    // The keys move it as a slider's would.
    player->pause();
    QTRY_COMPARE_WITH_TIMEOUT(StatusOf(*player), QStringLiteral("已暂停"), kWait);
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Home);
    QTRY_VERIFY_WITH_TIMEOUT(player->currentPosition() < 0.05, kWait);
    QTest::keyClick(bar, Qt::Key_PageUp);
    QTest::keyClick(bar, Qt::Key_Right);
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(player->currentPosition() - 6.0) < 0.05, kWait);
    QTest::keyClick(bar, Qt::Key_End);
    QTRY_VERIFY_WITH_TIMEOUT(player->currentPosition() > 29.9, kWait);
}

// From the first mark on, the display's top line gives the selection to
// the hundredth of a second, following a dragged mark, then its fades and
// volume; a selection too long for a phone's ringtone says so. The player
// tells the loudest sample of a stretch once it is decoded.
void MediaPlayerWidgetTest::topLineTellsTheSelectionExactly()
{
    const auto player = playingTone();
    QVERIFY(player);
    player->resize(432, 93);
    player->show();
    QVERIFY(QTest::qWaitForWindowExposed(player.get()));
    auto* line = player->findChild<QLabel*>(QStringLiteral("selection"));
    player->setMarks(2.5, std::nullopt);
    QCOMPARE(line->text(), QStringLiteral("开始 2.50 秒"));
    QVERIFY(line->isVisible() && !player->findChild<QLabel*>(QStringLiteral("title"))->isVisible());
    player->setMarks(2.5, 10.25);
    player->setFades(1, 2, 3);
    QCOMPARE(line->text(), QStringLiteral("2.50 – 10.25 秒，长 7.75 秒&nbsp;&nbsp;渐入 1.0 秒&nbsp;&nbsp;渐出 2.0 秒"
                                          "&nbsp;&nbsp;音量 +3.0 dB"));
    QCOMPARE(line->toolTip(), tone_);

    WaveformBar* bar = Bar(*player);
    const int y = bar->height() / 2;
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(bar->columnOf(10.25), y));
    QTest::mouseMove(bar, QPoint(bar->columnOf(20), y));
    const double dragged = bar->shownMark(sundrel::PlayerMark::End).value_or(0);
    QVERIFY2(
        line->text().startsWith(QStringLiteral("2.50 – %1 秒").arg(dragged, 0, 'f', 2)) && std::abs(dragged - 20) < 0.1,
        qPrintable(line->text()));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(bar->columnOf(20), y));

    player->setMarks(2.5, 45);
    QVERIFY(line->text().contains(QStringLiteral("color:#ff7b5c\">长 42.50 秒</span>")));
    QVERIFY(line->toolTip().contains(QStringLiteral("40 秒")));
    // Heard, not only seen in orange: the waveform's value and the line say it.
    const QString heard = QAccessible::queryAccessibleInterface(bar)->text(QAccessible::Value);
    QVERIFY2(heard.contains(QStringLiteral("长 42.50 秒（选区长于 40 秒")), qPrintable(heard));
    QVERIFY(line->accessibleDescription().contains(QStringLiteral("40 秒")));
    player->setMarks(2.5, 42);
    QVERIFY(!QAccessible::queryAccessibleInterface(bar)->text(QAccessible::Value).contains(QStringLiteral("40 秒")));
    QVERIFY(line->accessibleDescription().isEmpty());

    // The tone's 12000 of full scale's 32768.
    QTRY_VERIFY_WITH_TIMEOUT(player->peakBetween(5, 10).has_value(), kWait);
    QVERIFY(std::abs(*player->peakBetween(5, 10) - 12000.0 / 32768) < 0.02);
}

void MediaPlayerWidgetTest::loudestSampleIsTheStretchsOwn()
{
    // Silence up to 5 s, then loud noise: a stretch that ends 2 ms before
    // it shares its last waveform bin with the noise, but not its sound.
    const QString onset = dir_.filePath(QStringLiteral("onset.mp3"));
    QVERIFY(sundrel::test::MakeOnsetMp3(Native(onset), 8.0, 5.0));
    const auto decoded = sundrel::test::DecodeWithMpg123(Native(onset));
    MediaPlayerWidget player(50);
    player.setURL(onset);
    QTRY_VERIFY_WITH_TIMEOUT(Bar(player)->peaks() && Bar(player)->peaks()->finished, kWait);
    const sundrel::Peaks& peaks = *Bar(player)->peaks();
    for (const auto& [from, to] : {std::pair(3.0, 4.998), std::pair(4.9985, 4.999), std::pair(5.002, 7.0)}) {
        const auto part = sundrel::test::Span(decoded, from, to);
        const double own = sundrel::test::Loudest(part) / 32768.0;
        const auto peak = player.peakBetween(from, to);
        QVERIFY(peak);
        QVERIFY2(std::abs(*peak - own) < 3.0 / 32768, qPrintable(QStringLiteral("%1 against %2").arg(*peak).arg(own)));
    }
    // The premise: the bin the first two end in is loud.
    QVERIFY(peaks.peak(peaks.binAt(4.999)) > 0.3 && *player.peakBetween(3.0, 4.998) < 0.1);
}

void MediaPlayerWidgetTest::saysOnceWhenNothingCanBeHeard_data()
{
    QTest::addColumn<bool>("withOutputs");
    QTest::newRow("sound outputs installed") << true;
    QTest::newRow("no sound output but the fake one") << false;
}

void MediaPlayerWidgetTest::saysOnceWhenNothingCanBeHeard()
{
    QFETCH(bool, withOutputs);
    // GStreamer's plugins as installed, or all of them but those that
    // hold a sound output (PulseAudio, ALSA, JACK, OSS, PipeWire, OpenAL).
    QTemporaryDir plugins;
    const QDir installed(QStringLiteral(SUNDREL_GST_PLUGINS_DIR));
    const QStringList outputs = {"libgstpulseaudio.so", "libgstalsa.so",     "libgstjack.so",  "libgstoss4.so",
                                 "libgstossaudio.so",   "libgstpipewire.so", "libgstopenal.so"};
    int linked = 0;
    for (const QString& name : installed.entryList({QStringLiteral("*.so")}, QDir::Files)) {
        if (withOutputs || !outputs.contains(name))
            linked += QFile::link(installed.filePath(name), plugins.filePath(name));
    }
    QVERIFY(linked > 10);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("GST_PLUGIN_SYSTEM_PATH_1_0"), plugins.path());
    environment.insert(QStringLiteral("GST_REGISTRY_1_0"), plugins.filePath(QStringLiteral("registry.bin")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral(SUNDREL_SILENT_PLAYER), {tone_});
    QVERIFY(child.waitForFinished(30000));
    // The song plays either way: nothing is heard, but nothing stops.
    QCOMPARE(child.exitCode(), 0);
    const QString said = QString::fromLocal8Bit(child.readAllStandardError());
    QCOMPARE(said.count(QStringLiteral("Sundrel: no sound output was found")), withOutputs ? 0 : 1);
}

// The stretch plays over and over, never beyond its ends; a new stretch is
// taken at once (a seek reads as its target until it lands), in place when
// the position lies inside it; an ended loop plays on.
void MediaPlayerWidgetTest::loopsAStretchAndFollowsItsChanges()
{
    MediaPlayerWidget player(50);
    player.setURL(stepped_);
    QTRY_VERIFY_WITH_TIMEOUT(player.duration().value_or(0) > 11 && player.currentPosition() > 0.1, kWait);
    player.playLoop(2.0, 3.5);
    QVERIFY(player.isLooping() && Loops(player, 2.0, 3.5, 3));

    player.playLoop(5.0, 6.0);
    QVERIFY2(std::abs(player.currentPosition() - 5.0) < 0.1, qPrintable(Describe(player)));
    QVERIFY(Loops(player, 5.0, 6.0));
    QTRY_VERIFY_WITH_TIMEOUT(player.currentPosition() > 5.4, kWait);
    player.playLoop(4.5, 7.0);
    QVERIFY2(player.currentPosition() > 5.3, qPrintable(Describe(player)));
    QVERIFY(Loops(player, 4.5, 7.0));
    player.seek(6.8);  // inside: the loop and its end stay
    QVERIFY(player.isLooping() && Loops(player, 4.5, 7.0, 1));

    player.stopLoop();
    QVERIFY(!player.isLooping());
    QTRY_VERIFY2_WITH_TIMEOUT(player.currentPosition() > 7.5, qPrintable(Describe(player)), kWait);
}

// The button loops between the marks the window set and follows them (a
// dropped mark comes as the start alone, then both once cut again), also
// after a pause; past the song's end each turn ends at the end; a seek
// outside or a new song ends it.
void MediaPlayerWidgetTest::loopButtonLoopsBetweenTheMarks()
{
    MediaPlayerWidget player(50);
    player.setURL(stepped_);
    QTRY_VERIFY_WITH_TIMEOUT(player.duration().value_or(0) > 11, kWait);
    auto* loop = player.findChild<QToolButton*>(QStringLiteral("loop"));
    QVERIFY(loop != nullptr);
    // Before any mark it loops the song's proposal, once its analysis has one.
    const auto* decoder = player.findChild<sundrel::PeakDecoder*>();
    QCOMPARE(loop->isEnabled(), decoder && !decoder->candidates().empty());
    QCOMPARE(loop->accessibleName(), QStringLiteral("循环播放选区"));
    player.setMarks(8.0, 9.0);
    loop->click();
    QVERIFY(player.isLooping() && loop->isChecked());
    player.togglePlay();
    QTRY_COMPARE_WITH_TIMEOUT(StatusOf(player), QStringLiteral("已暂停"), kWait);
    player.togglePlay();
    player.setMarks(10.5, std::nullopt);
    player.setMarks(10.5, 14.0);
    QVERIFY(player.isLooping() && Loops(player, 10.5, 12.0));

    player.seek(9.0);
    QVERIFY(!player.isLooping() && !loop->isChecked());
    loop->click();
    player.setURL(stepped_);
    QVERIFY(!player.isLooping() && !loop->isChecked() && !loop->isEnabled());
}

QTEST_MAIN(MediaPlayerWidgetTest)
#include "media_player_widget_test.moc"
