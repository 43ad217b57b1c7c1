// SPDX-License-Identifier: GPL-3.0-or-later
// The chorus the song's analysis proposes, taken with H through the real
// window and player: an ordinary cut, undoable, that starts on a chorus.

#include "midi_song.h"
#include "mp3_fixture.h"
#include "peak_decoder.h"
#include "real_window.h"
#include "waveform_bar.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <memory>
#include <ranges>

using namespace sundrel;
using namespace sundrel::testing;
namespace fixture = sundrel::test;
using fixture::Part;

class ProposalTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        plan_.name = "pop";
        plan_.bpm = 120;
        plan_.key = 2;
        plan_.loudBridge = true;
        plan_.form = {{Part::Intro, 4},  {Part::Verse, 8},  {Part::Chorus, 8}, {Part::Verse, 8},
                      {Part::Chorus, 8}, {Part::Bridge, 8}, {Part::Chorus, 8}, {Part::Outro, 4}};
        song_ = dir_.filePath(QStringLiteral("pop.mp3"));
        QVERIFY(fixture::MakeSongMp3(song_.toStdString(), plan_));
        kept_ = dir_.filePath(QStringLiteral("[铃声]1pop.mp3"));
    }

    void hTakesTheChorusAndThenTheNextCandidate()
    {
        RealWindow w;
        w.frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.frm));
        QVERIFY(w.choose(song_, 60));
        auto* decoder = w.player()->findChild<PeakDecoder*>();
        QTRY_VERIFY_WITH_TIMEOUT(decoder && decoder->analysis().Finished, 30000);
        QVERIFY(!decoder->candidates().empty());
        // Found, drawn and said.
        QCOMPARE(w.frm.findChild<QLabel*>(QStringLiteral("lb"))->text(), QStringLiteral("找到高潮，按H选用"));
        QVERIFY(w.player()->findChild<QToolButton*>(QStringLiteral("proposal"))->isEnabled());

        auto* bar = w.player()->findChild<WaveformBar*>(QStringLiteral("seek"));
        QTest::keyClick(bar, Qt::Key_H);
        QVERIFY(w.desktop.messages.isEmpty());
        QVERIFY(bar->startMarkSeconds() && bar->endMarkSeconds());
        const double length = *bar->endMarkSeconds() - *bar->startMarkSeconds();
        QVERIFY2(length >= 10 && length <= 30.01, qPrintable(QString::number(length)));
        QVERIFY(w.frm.keptGain().FadeOutSeconds >= 1 && w.frm.keptGain().FadeOutSeconds <= 2);

        // The ringtone, decoded and found in the song, starts on a chorus.
        const fixture::Decoded song = fixture::DecodeWithMpg123(song_.toStdString());
        const fixture::Decoded ringtone = fixture::DecodeWithMpg123(kept_.toStdString());
        QCOMPARE(ringtone.exitStatus, 0);
        const auto found = fixture::LocateExcerpt(song.samples, fixture::Span(ringtone, 2, 4));
        QVERIFY(found);
        const double startsAt = double(*found) / fixture::kSampleRate - 2;
        const fixture::SongTruth truth = fixture::TruthOf(plan_);
        const double off = std::ranges::min(truth.chorusStarts |
                                            std::views::transform([&](double s) { return std::abs(s - startsAt); }));
        QVERIFY2(off <= truth.beatSeconds / 2, qPrintable(QStringLiteral("%1 s from a chorus").arg(off)));
        QVERIFY(std::abs(startsAt - *bar->startMarkSeconds()) < 0.01);

        // Again: the next candidate, an ordinary step undo goes back over.
        const QByteArray first = kept();
        const double firstStart = *bar->startMarkSeconds();
        QTest::keyClick(bar, Qt::Key_H);
        QVERIFY(*bar->startMarkSeconds() != firstStart);
        QTest::keyClick(bar, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(kept(), first);

        // A phone's length from the start, as a dropped end mark.
        QTest::keyClick(bar, Qt::Key_2);
        QVERIFY(std::abs(*bar->endMarkSeconds() - (firstStart + 20)) < 0.03);
        QVERIFY(w.desktop.messages.isEmpty());
    }

private:
    QByteArray kept() const
    {
        QFile f(kept_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir_;
    fixture::SongPlan plan_;
    QString song_;
    QString kept_;
};

QTEST_MAIN(ProposalTest)
#include "proposal_test.moc"
