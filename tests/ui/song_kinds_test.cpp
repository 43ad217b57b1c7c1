// SPDX-License-Identifier: GPL-3.0-or-later
// Ringtones cut through the window with the real player out of songs of
// every kind lame makes, each quiet in its first half and loud in its
// second: the ringtone must start where Start was pressed and end where End
// was, to the sample as a gapless decoder plays it, decode from its first
// sample as the song does there, and tell players its own true length.

#include "cut_engine.h"
#include "mp3_fixture.h"
#include "real_window.h"
#include "waveform_bar.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <span>

using namespace sundrel;
using namespace sundrel::testing;
namespace fixture = sundrel::test;

namespace {

constexpr double kSongSeconds = 60;
// Start, end and length as a gapless decoder plays the ringtone.
constexpr double kTolerance = 0.002;

struct Kind {
    const char* name;
    std::vector<std::string> lame;
    int rate = fixture::kSampleRate;
    // The encoder's tag renamed to ffmpeg's, whose delay the player does
    // not drop; empty to keep lame's.
    std::string encoder;
};

const std::vector<Kind>& Kinds()
{
    static const std::vector<Kind> kinds = {
        {"CBR 128", {"-b", "128", "--cbr"}, fixture::kSampleRate, ""},
        {"CBR 320", {"-b", "320", "--cbr"}, fixture::kSampleRate, ""},
        {"VBR V0", {"-V", "0"}, fixture::kSampleRate, ""},
        {"VBR V2", {"-V", "2"}, fixture::kSampleRate, ""},
        {"VBR V6", {"-V", "6"}, fixture::kSampleRate, ""},
        {"ABR 128", {"--abr", "128"}, fixture::kSampleRate, ""},
        {"MPEG-2 22.05 kHz", {"--resample", "22.05", "-b", "64"}, 22050, ""},
        {"MPEG-2 24 kHz VBR", {"--resample", "24", "-V", "4"}, 24000, ""},
        {"MPEG-2 16 kHz", {"--resample", "16", "-b", "32"}, 16000, ""},
        {"MPEG-2.5 11.025 kHz", {"--resample", "11.025", "-b", "32"}, 11025, ""},
        {"MPEG-2.5 12 kHz", {"--resample", "12", "-b", "24"}, 12000, ""},
        {"MPEG-2.5 8 kHz", {"--resample", "8", "-b", "16"}, 8000, ""},
        {"no encoder tag", {"-b", "128", "--cbr", "-t"}, fixture::kSampleRate, ""},
        {"free format", {"--freeformat", "-b", "200"}, fixture::kSampleRate, ""},
        {"ffmpeg's tag", {"-b", "128", "--cbr"}, fixture::kSampleRate, "Lavc60.31"},
    };
    return kinds;
}

// Renames the encoder in a song's LAME extension.
bool Retag(const QString& path, const std::string& encoder)
{
    std::vector<std::uint8_t> bytes = fixture::ReadBytes(path.toStdString());
    const auto at = std::search(bytes.begin(), bytes.end(), std::begin("LAME"), std::begin("LAME") + 4);
    if (at == bytes.end())
        return false;
    std::copy(encoder.begin(), encoder.end(), at);
    return fixture::WriteBytes(path.toStdString(), bytes);
}

std::uint32_t BigEndian32(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return std::uint32_t(bytes[at]) << 24 | std::uint32_t(bytes[at + 1]) << 16 | std::uint32_t(bytes[at + 2]) << 8 |
           bytes[at + 3];
}

}  // namespace

class SongKindsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        for (std::size_t k = 0; k < Kinds().size(); ++k) {
            const Kind& kind = Kinds()[k];
            const QString path = dir_.filePath(QStringLiteral("song%1.mp3").arg(k));
            QVERIFY(fixture::MakeQuietLoudMp3(path.toStdString(), kSongSeconds, kind.lame));
            if (!kind.encoder.empty())
                QVERIFY(Retag(path, kind.encoder));
            songs_[k] = path;
            // The song as the player plays it: it drops LAME's delay, and
            // no other encoder's.
            decoded_[k] = fixture::DecodeWithMpg123(path.toStdString(), kind.rate, kind.encoder.empty());
            QCOMPARE(decoded_[k].exitStatus, 0);
        }
    }

    void ringtoneIsWhatWasPressed_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        for (std::size_t k = 0; k < Kinds().size(); ++k) {
            const QByteArray name = Kinds()[k].name;
            QTest::newRow(name + " quiet 10-25 s") << int(k) << 10.0 << 25.0;
            QTest::newRow(name + " loud 35.3-50.7 s") << int(k) << 35.3 << 50.7;
            QTest::newRow(name + " from the start 0-15 s") << int(k) << 0.0 << 15.0;
        }
    }

    void ringtoneIsWhatWasPressed()
    {
        QFETCH(int, kind);
        QFETCH(double, start);
        QFETCH(double, end);
        const int rate = Kinds()[std::size_t(kind)].rate;
        RealWindow w;
        QVERIFY(w.choose(songs_[kind], kSongSeconds - 1));
        QVERIFY(w.seekTo(start));
        const double pressedStart = w.player()->currentPosition();
        w.frm.cmdQ_Click();
        QVERIFY(w.seekTo(end));
        const double pressedEnd = w.player()->currentPosition();
        w.frm.Command1_Click();
        QVERIFY(w.desktop.messages.isEmpty());

        const QString kept = dir_.filePath(QStringLiteral("[铃声]1song%1.mp3").arg(kind));
        const fixture::Decoded ringtone = fixture::DecodeWithMpg123(kept.toStdString(), rate);
        QCOMPARE(ringtone.exitStatus, 0);

        // Its first samples are the song's at Start, without a click.
        const fixture::Decoded& song = decoded_[kind];
        const auto startSample = std::size_t(std::llround(pressedStart * rate));
        const auto head = std::size_t(0.02 * rate);
        const auto songHead = std::span(song.samples).subspan(startSample, head);
        const auto keptHead = std::span(ringtone.samples).first(head);
        // The first moments of a song may be the encoder's silence; the
        // ringtone's must then be as still.
        if (fixture::Loudest(songHead) < 64) {
            QVERIFY(fixture::Loudest(keptHead) < 64);
        } else {
            const double headMatch = fixture::Correlation(songHead, keptHead);
            QVERIFY2(headMatch >= 0.9, qPrintable(QStringLiteral("first 20 ms correlate %1").arg(headMatch)));
        }
        const auto found = fixture::LocateExcerpt(song.samples, fixture::Span(ringtone, 0, 1));
        QVERIFY(found);
        const double startsAt = double(*found) / rate;
        QVERIFY2(std::abs(startsAt - pressedStart) <= kTolerance,
                 qPrintable(QStringLiteral("starts at %1 s, Start pressed at %2 s").arg(startsAt).arg(pressedStart)));
        QVERIFY2(
            std::abs(ringtone.seconds() - (pressedEnd - pressedStart)) <= kTolerance,
            qPrintable(
                QStringLiteral("lasts %1 s, selection %2 s").arg(ringtone.seconds()).arg(pressedEnd - pressedStart)));

        // Players are told the ringtone's own length, and the header frame
        // counts the frames that are there.
        const auto reported = fixture::LengthReportedByMpg123(kept.toStdString());
        QVERIFY(reported);
        QVERIFY2(std::abs(*reported - (pressedEnd - pressedStart)) <= 0.03,
                 qPrintable(QStringLiteral("mpg123 tells %1 s").arg(*reported)));
        const SongMap map = *MapSong(kept.toStdString(), ReadSongFile(kept.toStdString()));
        const auto bytes = fixture::ReadBytes(kept.toStdString());
        const auto xing = std::size_t(XingOffset(*ParseFrameHeader(bytes, ShortestFreeFormatLength)));
        QCOMPARE(BigEndian32(bytes, xing + 8), std::uint32_t(map.Frames().Count()));
        QVERIFY(QFile::remove(kept));
    }

    // The size fields' KB, read back in single precision, miss a frame by
    // bytes past 16 MiB: the cut takes the frames' own offsets.
    void songPastSixteenMegabytesIsCutOnItsFrames()
    {
        const QString song = dir_.filePath(QStringLiteral("tagged.mp3"));
        QVERIFY(QFile::copy(songs_[3], song));
        QVERIFY(fixture::PrependId3v2(song.toStdString(), 20 * 1024 * 1024));
        RealWindow w;
        QVERIFY(w.choose(song, kSongSeconds - 1));
        QVERIFY(w.seekTo(10));
        w.frm.cmdQ_Click();
        QVERIFY(w.seekTo(20));
        w.frm.Command1_Click();
        QVERIFY(w.desktop.messages.isEmpty());

        const QString kept = dir_.filePath(QStringLiteral("[铃声]1tagged.mp3"));
        const auto keptBytes = fixture::ReadBytes(kept.toStdString());
        const auto songBytes = fixture::ReadBytes(song.toStdString());
        const CutState& cut = w.frm.cutState();
        const auto from = std::size_t(cut.SegBytes[0]);
        const std::size_t header = cut.KeptHeader.size();
        QCOMPARE(keptBytes.size(), header + std::size_t(cut.SegBytes[1]));
        QVERIFY(std::equal(keptBytes.begin() + std::ptrdiff_t(header), keptBytes.end(),
                           songBytes.begin() + std::ptrdiff_t(from)));
        QVERIFY(ParseFrameHeader(std::span(songBytes).subspan(from)));
        const fixture::Decoded ringtone = fixture::DecodeWithMpg123(kept.toStdString());
        QVERIFY2(std::abs(ringtone.seconds() - 10) <= kTolerance, qPrintable(QString::number(ringtone.seconds())));
    }

    // A selection shorter than one frame makes no file nobody can open.
    void selectionShorterThanAFrameIsRefused()
    {
        RealWindow w;
        QVERIFY(w.choose(songs_[0], kSongSeconds - 1));
        QVERIFY(w.seekTo(10));
        w.frm.cmdQ_Click();
        w.player()->seek(10.01);
        QVERIFY(QTest::qWaitFor([&] { return w.player()->currentPosition() > 10.005; }, 10000));
        w.frm.Command1_Click();
        QCOMPARE(w.desktop.messages.size(), 1);
        QCOMPARE(w.desktop.messages.first().text, QStringLiteral("结束时间必须在开始时间之后！"));
        QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("[铃声]1song0.mp3"))));
    }

    // The player knows no length of a VBR song whose header frame claims
    // 0xFFFFFFFF bytes; the frames tell it, and the song is cut right.
    void songWithoutALengthThePlayerKnowsIsCut()
    {
        const QString song = dir_.filePath(QStringLiteral("unknown.mp3"));
        QVERIFY(QFile::copy(songs_[3], song));
        auto bytes = fixture::ReadBytes(song.toStdString());
        const auto xing = std::size_t(XingOffset(*ParseFrameHeader(bytes)));
        std::fill_n(bytes.begin() + std::ptrdiff_t(xing + 12), 4, std::uint8_t(0xFF));
        QVERIFY(fixture::WriteBytes(song.toStdString(), bytes));

        RealWindow w;
        w.desktop.openAnswers << song;
        w.frm.cmdBrowseS_Click();
        QVERIFY(QTest::qWaitFor(
            [&] { return w.frm.findChild<QLabel*>(QStringLiteral("lbz"))->text() == QStringLiteral(" 60秒"); }, 10000));
        // The marks pressed as it plays.
        auto* play = w.player()->findChild<QToolButton*>(QStringLiteral("play"));
        const auto pauseAt = [&](double seconds) {
            return QTest::qWaitFor([&] { return w.player()->currentPosition() >= seconds; }, 20000);
        };
        QVERIFY(pauseAt(1.0));
        w.player()->pause();
        const double start = w.player()->currentPosition();
        w.frm.cmdQ_Click();
        play->click();
        QVERIFY(pauseAt(3.0));
        w.player()->pause();
        const double end = w.player()->currentPosition();
        w.frm.Command1_Click();
        QVERIFY(w.desktop.messages.isEmpty());
        const QString kept = dir_.filePath(QStringLiteral("[铃声]1unknown.mp3"));
        const fixture::Decoded ringtone = fixture::DecodeWithMpg123(kept.toStdString());
        const auto found = fixture::LocateExcerpt(decoded_[3].samples, fixture::Span(ringtone, 0, 1));
        QVERIFY(found);
        QVERIFY2(std::abs(double(*found) / fixture::kSampleRate - start) <= kTolerance,
                 qPrintable(QString::number(*found)));
        QVERIFY2(std::abs(ringtone.seconds() - (end - start)) <= kTolerance,
                 qPrintable(QString::number(ringtone.seconds())));
    }

    // A header frame that lies: the player goes by the length the frames
    // tell, so its keys and waveform reach the song's second half, and a
    // ringtone cut there is what was pressed, to the sample as it plays.
    void lyingHeaderFrameSongIsReachedAndCut_data()
    {
        QTest::addColumn<bool>("half");
        QTest::newRow("byte count 0xFFFFFFFF") << false;
        QTest::newRow("counts of the first half only") << true;
    }

    void lyingHeaderFrameSongIsReachedAndCut()
    {
        QFETCH(bool, half);
        const QString song = dir_.filePath(QStringLiteral("lying.mp3"));
        QFile::remove(song);
        QVERIFY(QFile::copy(songs_[3], song));
        auto bytes = fixture::ReadBytes(song.toStdString());
        const auto xing = std::size_t(XingOffset(*ParseFrameHeader(bytes)));
        for (const std::size_t field : {xing + 8, xing + 12}) {
            const std::uint32_t value = half ? BigEndian32(bytes, field) / 2 : 0xFFFFFFFF;
            if (half || field == xing + 12)
                for (int i = 0; i < 4; ++i)
                    bytes[field + std::size_t(i)] = std::uint8_t(value >> (24 - 8 * i));
        }
        QVERIFY(fixture::WriteBytes(song.toStdString(), bytes));

        RealWindow w;
        w.frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.frm));
        w.desktop.openAnswers << song;
        w.frm.cmdBrowseS_Click();
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(w.player()->duration().value_or(0) - kSongSeconds) < 0.1, 10000);
        auto* bar = w.player()->findChild<WaveformBar*>(QStringLiteral("seek"));
        QTRY_VERIFY_WITH_TIMEOUT(bar->isEnabled(), 10000);
        w.player()->pause();
        const auto at = [&](double seconds) {
            return QTest::qWaitFor([&] { return std::abs(w.player()->currentPosition() - seconds) < 0.05; }, 10000);
        };
        // End, then three pages back: 45 s.
        QTest::keyClick(bar, Qt::Key_End);
        QVERIFY(at(kSongSeconds));
        for (int page = 0; page < 3; ++page)
            QTest::keyClick(bar, Qt::Key_PageDown);
        QVERIFY(at(kSongSeconds - 15));
        const double start = w.player()->currentPosition();
        w.frm.cmdQ_Click();
        const int x = bar->columnOf(55.0);
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(x, bar->height() / 2));
        QVERIFY(at(bar->secondsAt(x)));
        const double end = w.player()->currentPosition();
        w.frm.Command1_Click();
        QVERIFY(w.desktop.messages.isEmpty());

        // Found in the song as decoders play it: at the end its counts
        // claim, gapless ones drop the padding less their own delay and
        // play on, so that all after it comes that much earlier.
        const fixture::Decoded played = fixture::DecodeWithMpg123(song.toStdString());
        const QString kept = dir_.filePath(QStringLiteral("[铃声]1lying.mp3"));
        const fixture::Decoded ringtone = fixture::DecodeWithMpg123(kept.toStdString());
        const auto found = fixture::LocateExcerpt(played.samples, fixture::Span(ringtone, 0, 1));
        QVERIFY(found);
        QVERIFY2(
            std::abs(double(*found) / fixture::kSampleRate - start) <= kTolerance,
            qPrintable(
                QStringLiteral("starts at %1 s, Start at %2 s").arg(double(*found) / fixture::kSampleRate).arg(start)));
        QVERIFY2(std::abs(ringtone.seconds() - (end - start)) <= kTolerance,
                 qPrintable(QString::number(ringtone.seconds())));
        QVERIFY(QFile::remove(kept));
    }

private:
    QTemporaryDir dir_;
    std::map<std::size_t, QString> songs_;
    std::map<std::size_t, fixture::Decoded> decoded_;
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    SongKindsTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "song_kinds_test.moc"
