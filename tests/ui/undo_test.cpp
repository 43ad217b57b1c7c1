// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo, typed times and keys pressed during a cut, through the real
// window with the real player on a real song.

#include "mp3_fixture.h"
#include "peak_decoder.h"
#include "real_window.h"
#include "time_entry.h"
#include "waveform_bar.h"

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

using namespace sundrel;
using namespace sundrel::testing;
namespace fixture = sundrel::test;

namespace {

constexpr double kSongSeconds = 70;
constexpr double kFrame = 1152.0 / fixture::kSampleRate;
constexpr int kWait = 20000;

}  // namespace

class UndoTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        song_ = dir_.filePath(QStringLiteral("steps.mp3"));
        QVERIFY(fixture::MakeSteppedToneMp3(song_.toStdString(), kSongSeconds));
        kept_ = dir_.filePath(QStringLiteral("[铃声]1steps.mp3"));
    }

    void init()
    {
        w_ = std::make_unique<RealWindow>();
        w_->frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w_->frm));
        QVERIFY(w_->choose(song_, kSongSeconds - 1));
        bar_ = w_->player()->findChild<WaveformBar*>(QStringLiteral("seek"));
        QTRY_VERIFY_WITH_TIMEOUT(bar_->peaks() && bar_->peaks()->finished, kWait);
        bar_->setFocus();
    }

    void cleanup()
    {
        w_.reset();
        QFile::remove(kept_);
    }

    void undoAndRedoGoBackAndForthThroughTheCuts()
    {
        cut(3, 5);
        const QByteArray first = kept();
        const double start = *bar_->startMarkSeconds();
        key(Qt::Key_BracketRight);
        key(Qt::Key_BracketRight);
        QVERIFY(kept() != first);
        key(Qt::Key_Z, Qt::ControlModifier);
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(kept(), first);
        QCOMPARE(*bar_->startMarkSeconds(), start);
        key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(std::abs(*bar_->startMarkSeconds() - (start + kFrame)) < 1e-6);
        QCOMPARE(status(), QStringLiteral("铃声已换，请试听"));

        // A new start puts the cut aside, its fades and volume with it;
        // undo gives all of it back, and the same file.
        key(Qt::Key_I);
        key(Qt::Key_O);
        key(Qt::Key_Up, Qt::ControlModifier);
        const KeptGain shaped = w_->frm.keptGain();
        QVERIFY(shaped.FadeInSeconds > 0 && shaped.FadeOutSeconds > 0 && shaped.VolumeSteps == 1);
        const QByteArray before = kept();
        const auto marks = std::pair(bar_->startMarkSeconds(), bar_->endMarkSeconds());
        QVERIFY(w_->seekTo(20));
        w_->frm.cmdQ_Click();
        QVERIFY(w_->frm.keptGain() == KeptGain{} && !bar_->endMarkSeconds());
        key(Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(w_->frm.keptGain() == shaped);
        QCOMPARE(std::pair(bar_->startMarkSeconds(), bar_->endMarkSeconds()), marks);
        QCOMPARE(kept(), before);
        QVERIFY(w_->desktop.messages.isEmpty());
    }

    void keysPressedDuringACutAreNeverLost()
    {
        cut(3, 9);
        // Four presses at once: all but the first arrive while its cut runs.
        post(Qt::Key_O, 4);
        QTRY_VERIFY_WITH_TIMEOUT(idle(), kWait);
        QCOMPARE(w_->frm.keptGain().FadeOutSeconds, 2.0);
        QCOMPARE(bar_->shownFade(PlayerFade::Out), 2.0);

        // As many as come: the file is the cut of what the readout says.
        post(Qt::Key_BracketRight, 150);
        post(Qt::Key_I, 150);
        QTRY_VERIFY_WITH_TIMEOUT(idle(), kWait);
        const KeptGain gain = w_->frm.keptGain();
        QVERIFY(gain == w_->frm.cutState().KeptGain.Gain);
        QCOMPARE(gain.FadeInSeconds, LongestFadeSeconds(*bar_->endMarkSeconds() - *bar_->startMarkSeconds()));
        QVERIFY(std::abs(*bar_->startMarkSeconds() - (3 + 150 * kFrame)) < kFrame);
        const QString readout = w_->player()->findChild<QLabel*>(QStringLiteral("selection"))->text();
        QVERIFY2(readout.contains(QStringLiteral("渐入 %1 秒").arg(gain.FadeInSeconds, 0, 'f', 1)),
                 qPrintable(readout));
        QVERIFY(w_->desktop.messages.isEmpty());
    }

    void typedTimesActAsMarks()
    {
        // Before a cut a typed start is Start pressed there, on the frame
        // that holds the moment.
        QVERIFY(type(Qt::NoModifier, QStringLiteral("1:02.43")));
        const double start = *bar_->startMarkSeconds();
        QVERIFY2(start <= 62.43 && start > 62.43 - kFrame, qPrintable(QString::number(start)));
        QCOMPARE(w_->frm.cutState().SourceMap.FrameNear(start)->Start, start);
        QVERIFY(type(Qt::ShiftModifier, QStringLiteral("66.5")));
        QVERIFY(bar_->endMarkSeconds() && QFile::exists(kept_));
        const QByteArray cutFile = kept();

        // Past the song, before the start, or no time at all: refused with
        // a message, nothing changed.
        const struct {
            Qt::KeyboardModifiers which;
            const char* text;
            const char* message;
        } refused[] = {
            {Qt::NoModifier, "99:00", "时间超出歌曲的长度！"},
            {Qt::ShiftModifier, "1:00", "结束时间必须在开始时间之后！"},
            {Qt::NoModifier, "1:2x", "无法识别的时间：请输入秒数（如 62.43）或分:秒（如 1:02.43）！"},
        };
        for (const auto& r : refused) {
            w_->desktop.messages.clear();
            QVERIFY(type(r.which, QString::fromUtf8(r.text)));
            QCOMPARE(w_->desktop.messages.size(), 1);
            QCOMPARE(w_->desktop.messages.front().text, QString::fromUtf8(r.message));
            QCOMPARE(*bar_->startMarkSeconds(), start);
            QCOMPARE(kept(), cutFile);
        }
    }

private:
    void cut(double from, double to)
    {
        QVERIFY(w_->seekTo(from));
        w_->frm.cmdQ_Click();
        QVERIFY(w_->seekTo(to));
        w_->frm.Command1_Click();
        QVERIFY(w_->desktop.messages.isEmpty());
        bar_->setFocus();
    }
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(bar_, key, modifiers); }
    // Key presses queued all at once, as a key held down sends them.
    void post(Qt::Key key, int times)
    {
        for (int i = 0; i < times; ++i)
            QCoreApplication::postEvent(bar_, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
        QCoreApplication::sendPostedEvents(bar_);
    }
    bool idle() const { return !w_->frm.isCutting() && w_->frm.session().waiting() == 0; }
    // Types a time into the entry a key opens, and confirms it.
    bool type(Qt::KeyboardModifiers which, const QString& text)
    {
        key(Qt::Key_T, which);
        auto* entry = w_->player()->findChild<TimeEntry*>(QStringLiteral("timeEntry"));
        if (!entry || !entry->isVisible() || entry->accessibleName().isEmpty())
            return false;
        entry->clear();
        QTest::keyClicks(entry, text);
        QTest::keyClick(entry, Qt::Key_Return);
        return !entry->isVisible();
    }
    QByteArray kept() const
    {
        QFile f(kept_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString status() const { return w_->frm.findChild<QLabel*>(QStringLiteral("lb"))->text(); }

    QTemporaryDir dir_;
    QString song_;
    QString kept_;
    std::unique_ptr<RealWindow> w_;
    WaveformBar* bar_ = nullptr;
};

QTEST_MAIN(UndoTest)
#include "undo_test.moc"
