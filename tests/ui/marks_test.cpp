// SPDX-License-Identifier: GPL-3.0-or-later
// Start and End given a second way: the marks dragged on the real player's
// zoomed waveform, on a song with a sharp onset at a known moment, and the
// ringtones checked with a real decoder.

#include "cut_engine.h"
#include "mp3_fixture.h"
#include "peak_decoder.h"
#include "real_window.h"
#include "waveform_bar.h"
#include "waveform_painting.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

using namespace sundrel;
using namespace sundrel::testing;
namespace fixture = sundrel::test;

namespace {

constexpr double kSongSeconds = 12;
constexpr double kOnset = 5.0;
constexpr double kFrame = 1152.0 / fixture::kSampleRate;
constexpr int kWait = 15000;

}  // namespace

class MarksTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        song_ = dir_.filePath(QStringLiteral("onset.mp3"));
        QVERIFY(fixture::MakeOnsetMp3(song_.toStdString(), kSongSeconds, kOnset));
        decoded_ = fixture::DecodeWithMpg123(song_.toStdString());
        QCOMPARE(decoded_.exitStatus, 0);
        kept_ = dir_.filePath(QStringLiteral("[铃声]1onset.mp3"));
    }

    void init()
    {
        w_ = std::make_unique<RealWindow>();
        w_->frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w_->frm));
        QVERIFY(w_->choose(song_, kSongSeconds - 1));
        bar_ = w_->player()->findChild<WaveformBar*>(QStringLiteral("seek"));
        QTRY_VERIFY_WITH_TIMEOUT(bar_->peaks() && bar_->peaks()->finished, kWait);
    }

    void cleanup()
    {
        w_.reset();
        QFile::remove(kept_);
        kept_ = dir_.filePath(QStringLiteral("[铃声]1onset.mp3"));
    }

    void aLateStartDraggedNearTheOnsetKeepsTheOnset()
    {
        // Pressed a quarter of a second late, as a listener does.
        QVERIFY(w_->seekTo(kOnset + 0.25));
        w_->frm.cmdQ_Click();
        zoomAllTheWayIn();
        drag(*bar_->startMarkSeconds(), kOnset + 3 * secondsPerPixel());
        const double start = startPos();
        QVERIFY2(start <= kOnset + 0.005 && start > kOnset - kFrame,
                 qPrintable(QStringLiteral("Start dropped at %1 s").arg(start)));
        // Playback stayed where it was.
        QVERIFY(std::abs(w_->player()->currentPosition() - (kOnset + 0.25)) < 0.05);

        QVERIFY(w_->seekTo(kOnset + 2));
        w_->frm.Command1_Click();
        QVERIFY(w_->desktop.messages.isEmpty());
        // Where the ringtone's sound lies in the song, as the player played it.
        const fixture::Decoded ringtone = fixture::DecodeWithMpg123(kept_.toStdString());
        const double skip = 0.2;
        const auto excerpt = fixture::Span(ringtone, skip, skip + 1);
        const auto found = fixture::LocateExcerpt(decoded_.samples, excerpt);
        QVERIFY(found);
        const double startsAt = double(*found) / fixture::kSampleRate - skip;
        QVERIFY2(std::abs(startsAt - kOnset) <= kFrame,
                 qPrintable(QStringLiteral("the ringtone starts at %1 s").arg(startsAt)));

        // With Shift, the onset does not catch the mark: it lands where it
        // was dropped, on a frame, and the cut is made again at once.
        const double drop = kOnset + 4 * secondsPerPixel();
        drag(*bar_->startMarkSeconds(), drop, Qt::ShiftModifier);
        QVERIFY2(std::abs(startPos() - drop) <= kFrame / 2 + secondsPerPixel(),
                 qPrintable(QStringLiteral("%1 s dropped at %2 s").arg(startPos()).arg(drop)));
        QCOMPARE(w_->frm.cutState().SegBytes[0], std::int64_t(std::llround(*positionKB(startPos()) * 1024)));
    }

    void draggingTheEndMarkCutsAgain()
    {
        QVERIFY(w_->seekTo(2));
        w_->frm.cmdQ_Click();
        QVERIFY(w_->seekTo(4));
        w_->frm.Command1_Click();
        QVERIFY(w_->desktop.messages.isEmpty());
        const auto twoSeconds = QFileInfo(kept_).size();

        // Two seconds more: the kept file grows with it, in place.
        drag(*bar_->endMarkSeconds(), 6);
        QVERIFY(w_->desktop.messages.isEmpty());
        QCOMPARE(w_->frm.findChild<QLabel*>(QStringLiteral("lbj"))->text(), QStringLiteral(" 6秒"));
        QVERIFY(bar_->endMarkSeconds() && std::abs(*bar_->endMarkSeconds() - 6) <= 0.030);
        const auto fourSeconds = QFileInfo(kept_).size();
        QVERIFY2(std::abs(double(fourSeconds) / double(twoSeconds) - 2.0) < 0.05,
                 qPrintable(QStringLiteral("%1 bytes, then %2").arg(twoSeconds).arg(fourSeconds)));

        // Before Start: refused as End is; the cut stays as it was, the
        // kept file, the marks and the end time with it. So does the start
        // dragged past the end.
        const QByteArray before = readKept();
        const auto pieces = w_->frm.cutState().SegBytes;
        const double start = startPos();
        drag(*bar_->endMarkSeconds(), 1);
        drag(*bar_->startMarkSeconds(), 8);
        QCOMPARE(w_->desktop.messages.size(), 2);
        for (const auto& message : w_->desktop.messages) {
            QCOMPARE(message.text, QStringLiteral("结束时间必须在开始时间之后！"));
            QCOMPARE(message.title, QStringLiteral("提示"));
        }
        QCOMPARE(readKept(), before);
        QVERIFY(w_->frm.cutState().SegBytes == pieces);
        QCOMPARE(startPos(), start);
        QVERIFY(bar_->startMarkSeconds() && std::abs(*bar_->startMarkSeconds() - start) < 0.001);
        QVERIFY(bar_->endMarkSeconds() && std::abs(*bar_->endMarkSeconds() - 6) <= 0.030);
        QCOMPARE(w_->frm.findChild<QLabel*>(QStringLiteral("lbj"))->text(), QStringLiteral(" 6秒"));

        // A click four pixels beside a mark seeks where it was made.
        const QPoint beside(bar_->columnOf(*bar_->endMarkSeconds()) + 4, bar_->height() / 2);
        QTest::mouseClick(bar_, Qt::LeftButton, {}, beside);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(w_->player()->currentPosition() - bar_->secondsAt(beside.x())) < 0.02, kWait);
    }

    // Pressed with the mouse, 开始 and 结束 leave the focus on the waveform,
    // whose keys move the marks; given the focus by Tab, they pass the keys
    // on. Before the cut a key is Start there; after it each press cuts
    // again, and the kept file follows by one frame.
    void marksMoveByKeysAfterAClickOnStart()
    {
        w_->frm.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w_->frm));
        QTest::mouseClick(bar_, Qt::LeftButton, {}, QPoint(bar_->columnOf(2), bar_->height() / 2));
        QVERIFY(w_->seekTo(2));
        auto* startButton = w_->frm.findChild<QPushButton*>(QStringLiteral("cmdQ"));
        QTest::mouseClick(startButton, Qt::LeftButton);
        const double pressed = startPos();
        QCOMPARE(QApplication::focusWidget(), bar_);
        key(Qt::Key_BracketRight);
        QVERIFY(std::abs(startPos() - (pressed + kFrame)) < 1e-6);
        QVERIFY(w_->seekTo(4));
        QTest::mouseClick(w_->frm.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY(w_->desktop.messages.isEmpty());

        struct Press {
            Qt::Key key;
            int startFrames, endFrames;  // how far the kept file's ends move
        };
        for (const Press& press :
             {Press{Qt::Key_BracketRight, 1, 0}, Press{Qt::Key_BraceRight, 0, 1}, Press{Qt::Key_BracketLeft, -1, 0}}) {
            const auto [begin, end] = keptFrames();
            key(press.key);
            QCOMPARE(keptFrames(), std::make_pair(begin + press.startFrames, end + press.endFrames));
            const CutState& cut = w_->frm.cutState();
            QCOMPARE(QFileInfo(kept_).size(), qint64(cut.KeptHeader.size()) + cut.SegBytes[1]);
        }
        QVERIFY(w_->desktop.messages.isEmpty());
        // 开始 with the focus passes them on; Alt moves a tenth of a second.
        startButton->setFocus(Qt::TabFocusReason);
        const double before = startPos();
        key(Qt::Key_BracketLeft, Qt::AltModifier);
        QVERIFY(std::abs(startPos() - (before - 0.1)) < 1e-6);
        QCOMPARE(QApplication::focusWidget(), startButton);
    }

    // After a cut, I and O lengthen the fades and Ctrl+Up raises the volume,
    // as far as the song allows; a handle dragged sets its fade. Each cuts
    // again at once, the display's top line and the status say so, and the
    // ringtone decodes to the song's sound with its fades, louder. A shorter
    // selection shortens a fade; a new Start begins at full level.
    void fadesAndVolumeFromKeysAndHandles()
    {
        // Noise at half its level from 6 s on: room to be louder.
        const QString song = dir_.filePath(QStringLiteral("headroom.mp3"));
        QVERIFY(fixture::MakeQuietLoudMp3(song.toStdString(), kSongSeconds, {"-b", "128"}, 1, 0.5));
        QVERIFY(w_->choose(song, kSongSeconds - 1));
        QTRY_VERIFY_WITH_TIMEOUT(bar_->peaks() && bar_->peaks()->finished, kWait);
        kept_ = dir_.filePath(QStringLiteral("[铃声]1headroom.mp3"));
        QVERIFY(w_->seekTo(6.5));
        w_->frm.cmdQ_Click();
        QVERIFY(w_->seekTo(10.5));
        w_->frm.Command1_Click();
        const fixture::Decoded plain = fixture::DecodeWithMpg123(kept_.toStdString());
        bar_->setFocus();
        for (const Qt::Key k : {Qt::Key_I, Qt::Key_I, Qt::Key_O, Qt::Key_O, Qt::Key_O, Qt::Key_O})
            key(k);
        key(Qt::Key_Up, Qt::ControlModifier);
        key(Qt::Key_Up, Qt::ControlModifier);
        QVERIFY(w_->desktop.messages.isEmpty());
        QVERIFY(w_->frm.keptGain() == (KeptGain{1.0, 2.0, 2}));
        const QString line = w_->player()->findChild<QLabel*>(QStringLiteral("selection"))->text();
        QVERIFY2(line.startsWith(QStringLiteral("%1 – %2 秒，长 %3 秒")
                                     .arg(startPos(), 0, 'f', 2)
                                     .arg(endPos(), 0, 'f', 2)
                                     .arg(endPos() - startPos(), 0, 'f', 2)) &&
                     line.endsWith(QStringLiteral("渐入 1.0 秒&nbsp;&nbsp;渐出 2.0 秒&nbsp;&nbsp;音量 +3.0 dB")),
                 qPrintable(line));
        QCOMPARE(w_->frm.findChild<QLabel*>(QStringLiteral("lb"))->text(), QStringLiteral("铃声已换，请试听"));

        const fixture::Decoded shaped = fixture::DecodeWithMpg123(kept_.toStdString());
        QCOMPARE(shaped.samples.size(), plain.samples.size());
        const auto at = [](const fixture::Decoded& d, std::size_t i) { return double(d.samples[i]); };
        const std::size_t n = plain.samples.size(), rate = fixture::kSampleRate, granule = 576;
        double worst = 0;
        for (std::size_t i = rate + granule; i < n - 2 * rate - granule; ++i)
            worst = std::max(worst, std::abs(at(shaped, i) - std::sqrt(2.0) * at(plain, i)));
        QVERIFY2(worst <= 1.25, qPrintable(QStringLiteral("%1 off").arg(worst)));
        // Half way into the fade in, half the level (and the volume's).
        const auto rms = [&](const fixture::Decoded& d, double from) {
            const auto part = fixture::Span(d, from, from + 0.05);
            double sum = 0;
            for (const std::int16_t v : part)
                sum += double(v) * v;
            return std::sqrt(sum / double(part.size()));
        };
        QVERIFY(std::abs(20 * std::log10(rms(shaped, 0.475) / rms(plain, 0.475) / std::sqrt(2.0) / 0.5)) < 2);

        // As loud as the song allows, and no louder: nothing clips.
        for (int press = 0; press < 8; ++press)
            key(Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(w_->frm.findChild<QLabel*>(QStringLiteral("lb"))->text(), QStringLiteral("音量最大"));
        const int loudest = w_->frm.keptGain().VolumeSteps;
        QVERIFY(loudest > 2 && loudest < 10);
        int peak = 0;
        for (const std::int16_t v : fixture::DecodeWithMpg123(kept_.toStdString()).samples)
            peak = std::max(peak, std::abs(int(v)));
        QVERIFY2(peak < 32767 && peak > 32767 / std::pow(2.0, 1 / 4.0), qPrintable(QString::number(peak)));

        // The fade in's handle, dragged inward, under a pointer that shows it.
        const QPoint handle = waveform_layout::FadeHandle(bar_->view(), startPos() + 1.0, true).center();
        QTest::mouseMove(bar_, handle);
        QCOMPARE(bar_->cursor().shape(), Qt::SizeBDiagCursor);
        // It goes as far as the pointer went, from wherever in the square it
        // was grabbed, and lands on whole tenths of a second.
        const int halfSecond = bar_->columnOf(startPos() + 1.5) - bar_->columnOf(startPos() + 1.0);
        QTest::mousePress(bar_, Qt::LeftButton, Qt::NoModifier, handle + QPoint(2, 2));
        QTest::mouseMove(bar_, handle + QPoint(2 + halfSecond / 2, 2));
        QTest::mouseRelease(bar_, Qt::LeftButton, Qt::NoModifier, handle + QPoint(2 + halfSecond, 2));
        QCOMPARE(w_->frm.keptGain().FadeInSeconds, 1.5);

        // The end dragged in to a three-second selection: each fade at most
        // half of it.
        drag(*bar_->endMarkSeconds(), startPos() + 3);
        QVERIFY(w_->frm.keptGain().FadeOutSeconds <= (endPos() - startPos()) / 2 + 1e-9);
        QVERIFY(w_->frm.keptGain().FadeOutSeconds > 1.4);
        key(Qt::Key_I, Qt::ShiftModifier);
        QVERIFY(std::abs(w_->frm.keptGain().FadeInSeconds - 1.0) < 2 * secondsPerPixel());
        QVERIFY(w_->desktop.messages.isEmpty());

        w_->frm.cmdQ_Click();
        QVERIFY(w_->frm.keptGain() == KeptGain{});
    }

    void zoomReturnsAndFineStepsMoveByTheirStep()
    {
        bar_->setFocus();
        QVERIFY(w_->seekTo(6));
        // To the millisecond, as the bar once counted.
        const auto view = [&] {
            return std::make_pair(qRound64(bar_->secondsAt(0) * 1000),
                                  qRound64(bar_->secondsAt(bar_->width() - 1) * 1000));
        };
        const auto whole = view();
        // The wheel zooms around the pointer: in, in again, and out twice
        // goes back through the same views.
        const QPoint at(bar_->width() / 3, bar_->height() / 2);
        wheel(at, 120);
        const auto once = view();
        QVERIFY(once.first > whole.first && once.second < whole.second);
        wheel(at, 120);
        QCOMPARE(bar_->zoomLevel(), 2);
        wheel(at, -120);
        QCOMPARE(view(), once);
        wheel(at, -120);
        QCOMPARE(view(), whole);

        struct Step {
            Qt::KeyboardModifiers modifiers;
            double seconds;
        };
        for (const Step& step :
             {Step{Qt::ShiftModifier, 0.1}, Step{Qt::ControlModifier, kFrame}, Step{Qt::NoModifier, 1.0}}) {
            const double from = w_->player()->currentPosition();
            QTest::keyClick(bar_, Qt::Key_Right, step.modifiers);
            QTRY_VERIFY_WITH_TIMEOUT(std::abs(w_->player()->currentPosition() - (from + step.seconds)) <= 0.002, kWait);
        }
        // A zoomed view follows the position off its edge.
        zoomAllTheWayIn();
        QTest::keyClick(bar_, Qt::Key_PageUp);
        QVERIFY(bar_->secondsAt(0) <= bar_->positionSeconds() &&
                bar_->positionSeconds() <= bar_->secondsAt(bar_->width()));
        // A step further in says it can go no further.
        QTest::keyClick(bar_, Qt::Key_Plus);
        QCOMPARE(bar_->scaleText(), QStringLiteral("每像素 10 毫秒（已最大）"));
        // The strip along the foot takes the view to the song's start, and
        // playback stays where it was.
        const double playing = bar_->positionSeconds();
        QTest::mouseClick(bar_, Qt::LeftButton, {}, QPoint(0, bar_->height() - 2));
        QCOMPARE(bar_->view().startSeconds(), 0.0);
        QCOMPARE(bar_->positionSeconds(), playing);
    }

private:
    double secondsPerPixel() const { return bar_->view().secondsPerPixel(); }
    double startPos() const { return std::stod(w_->shared.StartPos); }
    double endPos() const { return std::stod(w_->shared.EndPos); }
    std::optional<double> positionKB(double seconds) const
    {
        return w_->frm.cutState().SourceMap.PositionToKB(seconds, w_->shared.MediaDuration);
    }
    // The frames of the song the kept file begins and ends with.
    std::pair<std::size_t, std::size_t> keptFrames() const
    {
        const CutState& cut = w_->frm.cutState();
        const FrameIndex& frames = cut.SourceMap.Frames();
        const auto frameAt = [&](std::int64_t offset) {
            std::size_t i = 0;
            while (i < frames.Count() && frames.Offset(i) < offset)
                ++i;
            return i;
        };
        return {frameAt(cut.SegBytes[0]), frameAt(cut.SegBytes[0] + cut.SegBytes[1])};
    }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }
    QByteArray readKept() const
    {
        QFile file(kept_);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void zoomAllTheWayIn()
    {
        bar_->setFocus();
        for (int level = -1; level != bar_->zoomLevel();) {
            level = bar_->zoomLevel();
            QTest::keyClick(bar_, Qt::Key_Plus);
        }
        QVERIFY(secondsPerPixel() <= 0.0100001);
    }

    // Grabs a mark and drops it over a moment of the view.
    void drag(double markSeconds, double toSeconds, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const int y = bar_->height() / 2;
        const int from = bar_->columnOf(markSeconds);
        const int to = int(std::lround((toSeconds - bar_->view().startSeconds()) / secondsPerPixel()));
        QTest::mousePress(bar_, Qt::LeftButton, Qt::NoModifier, QPoint(from, y));
        QTest::mouseMove(bar_, QPoint((from + to) / 2, y));
        QTest::mouseRelease(bar_, Qt::LeftButton, modifiers, QPoint(to, y));
    }

    void wheel(QPoint at, int delta)
    {
        QWheelEvent event(at, bar_->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(bar_, &event);
    }

    QTemporaryDir dir_;
    QString song_;
    QString kept_;
    fixture::Decoded decoded_;
    std::unique_ptr<RealWindow> w_;
    WaveformBar* bar_ = nullptr;
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    MarksTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "marks_test.moc"
