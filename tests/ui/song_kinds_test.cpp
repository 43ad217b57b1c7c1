// SPDX-License-Identifier: GPL-3.0-or-later
// Ringtones cut through the window with the real player out of songs encoded
// the three ways lame can spend its bits, each quiet in its first half and
// loud in its second: the ringtone must start where Start was pressed, last
// as long as the selection, and tell players its own true length.

#include "cut_engine.h"
#include "mp3_fixture.h"
#include "real_window.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <span>

using namespace sundrel;
using namespace sundrel::testing;
namespace fixture = sundrel::test;

Q_DECLARE_METATYPE(sundrel::test::BitRateMode)

namespace {

constexpr double kSongSeconds = 60;
// The first frames of a ringtone come out silent: their bit reservoir lies
// in the frames before them, which were not cut. Where the ringtone came
// from is told by the sound after them.
constexpr double kSkip = 0.1;

QString ModeName(fixture::BitRateMode mode)
{
    switch (mode) {
    case fixture::BitRateMode::Cbr128: return QStringLiteral("CBR");
    case fixture::BitRateMode::Vbr2: return QStringLiteral("VBR");
    case fixture::BitRateMode::Abr128: return QStringLiteral("ABR");
    }
    return {};
}

}  // namespace

class SongKindsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        for (const auto mode : {fixture::BitRateMode::Cbr128, fixture::BitRateMode::Vbr2, fixture::BitRateMode::Abr128}) {
            const QString path = dir_.filePath(ModeName(mode) + QStringLiteral(".mp3"));
            QVERIFY(fixture::MakeQuietLoudMp3(path.toStdString(), kSongSeconds, mode));
            songs_[mode] = path;
            // The song as the player hears it: mpg123 drops lame's delay as
            // the player does.
            decoded_[mode] = fixture::DecodeWithMpg123(path.toStdString());
            QCOMPARE(decoded_[mode].exitStatus, 0);
        }
    }

    void ringtoneIsWhatWasPressed_data()
    {
        QTest::addColumn<fixture::BitRateMode>("mode");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        for (const auto mode : {fixture::BitRateMode::Cbr128, fixture::BitRateMode::Vbr2, fixture::BitRateMode::Abr128}) {
            const QByteArray name = ModeName(mode).toUtf8();
            QTest::newRow(name + " quiet 10-25 s") << mode << 10.0 << 25.0;
            QTest::newRow(name + " loud 35-50 s") << mode << 35.0 << 50.0;
            QTest::newRow(name + " from the start 0-15 s") << mode << 0.0 << 15.0;
        }
    }

    void ringtoneIsWhatWasPressed()
    {
        QFETCH(fixture::BitRateMode, mode);
        QFETCH(double, start);
        QFETCH(double, end);
        const QString song = songs_[mode];
        RealWindow w;
        QVERIFY(w.choose(song, kSongSeconds - 1));
        QVERIFY(w.seekTo(start));
        const double pressedStart = w.player()->currentPosition();
        w.frm.cmdQ_Click();
        QVERIFY(w.seekTo(end));
        const double pressedEnd = w.player()->currentPosition();
        w.frm.Command1_Click();
        QVERIFY(w.desktop.messages.isEmpty());

        const QString kept = dir_.filePath(QStringLiteral("[铃声]1") + ModeName(mode) + QStringLiteral(".mp3"));
        const fixture::Decoded ringtone = fixture::DecodeWithMpg123(kept.toStdString());
        QCOMPARE(ringtone.exitStatus, 0);

        // Where its sound lies in the song, as the player played the song.
        const auto from = std::span<const std::int16_t>(ringtone.samples).subspan(
            std::size_t(kSkip * fixture::kSampleRate), std::size_t(2 * fixture::kSampleRate));
        const auto found = fixture::LocateExcerpt(decoded_[mode].samples, from);
        QVERIFY(found);
        const double startsAt = double(*found) / fixture::kSampleRate - kSkip;
        QVERIFY2(std::abs(startsAt - pressedStart) <= 0.05,
                 qPrintable(QStringLiteral("starts at %1 s, Start pressed at %2 s").arg(startsAt).arg(pressedStart)));
        QVERIFY2(std::abs(ringtone.seconds() - (pressedEnd - pressedStart)) <= 0.05,
                 qPrintable(QStringLiteral("lasts %1 s, selection %2 s").arg(ringtone.seconds()).arg(pressedEnd - pressedStart)));

        // Players are told the ringtone's own length, not the song's.
        const auto reported = fixture::LengthReportedByMpg123(kept.toStdString());
        QVERIFY(reported);
        QVERIFY2(std::abs(*reported - ringtone.seconds()) <= 0.1,
                 qPrintable(QStringLiteral("mpg123 tells %1 s for %2 s").arg(*reported).arg(ringtone.seconds())));

        // A CBR ringtone is the song's own bytes, nothing added.
        if (mode == fixture::BitRateMode::Cbr128) {
            const auto songBytes = fixture::ReadBytes(song.toStdString());
            const auto keptBytes = fixture::ReadBytes(kept.toStdString());
            const auto offset = std::size_t(w.frm.cutState().SegBytes[0]);
            QVERIFY(std::equal(keptBytes.begin(), keptBytes.end(), songBytes.begin() + std::ptrdiff_t(offset)));
        }
        QVERIFY(QFile::remove(kept));
    }

private:
    QTemporaryDir dir_;
    std::map<fixture::BitRateMode, QString> songs_;
    std::map<fixture::BitRateMode, fixture::Decoded> decoded_;
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    SongKindsTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "song_kinds_test.moc"
