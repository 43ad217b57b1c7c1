// SPDX-License-Identifier: GPL-3.0-or-later
// The player's waveform: decoded in the background by the analysis pass
// (libmpg123) from MP3 files made by the fixtures, and drawn by the bar.

#include "media_player_widget.h"
#include "mp3_fixture.h"
#include "peak_decoder.h"
#include "waveform_bar.h"

#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <system_error>

using namespace sundrel;
namespace fixture = sundrel::test;

namespace {

constexpr int kWait = 15000;

WaveformBar* Bar(const QWidget& player) { return player.findChild<WaveformBar*>(QStringLiteral("seek")); }

// A player the size it has in the main window, shown.
std::unique_ptr<MediaPlayerWidget> ShownPlayer()
{
    auto player = std::make_unique<MediaPlayerWidget>(50);
    player->resize(432, 93);
    player->show();
    return player;
}

bool Finished(const WaveformBar& bar) { return bar.peaks() && bar.peaks()->finished; }

// How many of this process's open files are the given file.
int OpenHandlesOn(const QString& path)
{
    std::error_code error;
    const auto target = std::filesystem::canonical(path.toStdString(), error);
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code ignored;
        count += std::filesystem::read_symlink(entry.path(), ignored) == target;
    }
    return count;
}

}  // namespace

class WaveformTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        for (int seconds : {4, 6, 8}) {
            const QString path = dir_.filePath(QStringLiteral("tone%1.mp3").arg(seconds));
            QVERIFY(fixture::MakeToneMp3(path.toStdString(), seconds));
            songs_ << path;
        }
    }

    void fillsOneColumnAPixelAndFollowsTheWidth()
    {
        const auto player = ShownPlayer();
        player->setURL(songs_[2]);
        WaveformBar* bar = Bar(*player);
        QTRY_VERIFY_WITH_TIMEOUT(Finished(*bar), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(player->duration().value_or(0) > 7.5, kWait);
        // The kept peaks are bounded, whatever the width.
        QVERIFY(bar->peaks()->bins.size() <= PeakBinsMax);
        for (const int width : {bar->width(), 97, 700}) {
            bar->setFixedWidth(width);
            QTRY_COMPARE(bar->width(), width);
            const auto columns = bar->columns();
            QCOMPARE(int(columns.size()), width);
            // A steady tone: every column holds sound, its RMS below its peak.
            for (const auto& column : columns) {
                QVERIFY(column.peak > 0.2f && column.peak <= 1.0f);
                QVERIFY(column.rms > 0.1f && column.rms <= column.peak);
            }
        }
    }

    void longSongsMergeBinsWithinTheirMemory()
    {
        // Two and a half times as many fine bins as are kept: neighbours
        // merge twice, and a loud moment stays where it was.
        Peaks peaks;
        const std::size_t fine = PeakBinsMax * 5 / 2, loud = PeakBinsMax * 2 + 13;
        for (std::size_t i = 0; i < fine; ++i)
            peaks.addFine(i == loud ? 0.9f : 0.1f, 0.05f, 0.005);
        peaks.closeOpenBin();
        QCOMPARE(peaks.binSeconds, 0.02);
        QCOMPARE(peaks.bins.size(), fine / 4);
        QVERIFY(peaks.bins.capacity() * sizeof(Peaks::Bin) <= 1 << 20);
        QVERIFY(std::abs(peaks.peak(loud / 4) - 0.9f) < 1e-4f && std::abs(peaks.peak(loud / 4 + 1) - 0.1f) < 1e-4f);
        QVERIFY(std::abs(peaks.rms(7) - 0.05f) < 1e-4f);
    }

    void theLoudHalfStandsOut()
    {
        // A quiet sweep, with loud noise added in the second half.
        const QString song = dir_.filePath(QStringLiteral("quiet-loud.mp3"));
        QVERIFY(fixture::MakeQuietLoudMp3(song.toStdString(), 20, fixture::BitRateMode::Vbr2));
        const auto player = ShownPlayer();
        player->setURL(song);
        WaveformBar* bar = Bar(*player);
        QTRY_VERIFY_WITH_TIMEOUT(Finished(*bar) && player->duration().value_or(0) > 19, kWait);
        const auto columns = bar->columns();
        QCOMPARE(int(columns.size()), bar->width());
        // Away from the middle, where a column may hold both halves: every
        // loud column peaks at least three times as high as the loudest
        // quiet one, and so does its RMS.
        const std::size_t n = columns.size();
        float quietPeak = 0, quietRms = 0;
        for (std::size_t i = 0; i < n * 45 / 100; ++i) {
            quietPeak = std::max(quietPeak, columns[i].peak);
            quietRms = std::max(quietRms, columns[i].rms);
        }
        QVERIFY(quietPeak > 0);
        for (std::size_t i = n * 55 / 100; i < n; ++i) {
            QVERIFY2(columns[i].peak >= 3 * quietPeak,
                     qPrintable(QStringLiteral("column %1: %2 against %3").arg(i).arg(columns[i].peak).arg(quietPeak)));
            QVERIFY(columns[i].rms >= 3 * quietRms);
        }
    }

    void aNewSongCancelsTheOldDecoding()
    {
        const auto player = ShownPlayer();
        // Three songs in quick succession: only the last one's waveform is
        // ever finished, and the earlier decoders are gone at once.
        player->setURL(songs_[0]);
        QPointer<PeakDecoder> first = player->findChild<PeakDecoder*>();
        player->setURL(songs_[1]);
        QVERIFY(first.isNull());
        player->setURL(songs_[2]);
        QCOMPARE(player->findChildren<PeakDecoder*>().size(), 1);
        WaveformBar* bar = Bar(*player);
        QTRY_VERIFY_WITH_TIMEOUT(Finished(*bar), kWait);
        QVERIFY2(std::abs(bar->peaks()->decodedSeconds - 8.0) < 0.2,
                 qPrintable(QString::number(bar->peaks()->decodedSeconds)));
        QTest::qWait(300);  // nothing late from the older songs arrives
        QVERIFY(std::abs(bar->peaks()->decodedSeconds - 8.0) < 0.2);
    }

    void closingDuringDecodingLetsGoAtOnce()
    {
        const QString song = dir_.filePath(QStringLiteral("long.mp3"));
        QVERIFY(fixture::MakeToneMp3(song.toStdString(), 180));
        auto player = ShownPlayer();
        player->setURL(song);
        QPointer<PeakDecoder> decoder = player->findChild<PeakDecoder*>();
        QVERIFY(decoder && !decoder->peaks().finished);
        QTRY_VERIFY_WITH_TIMEOUT(OpenHandlesOn(song) > 0, kWait);
        // The window closes: the player is emptied, then destroyed.
        player->setURL(QString());
        QVERIFY(decoder.isNull());
        QCOMPARE(OpenHandlesOn(song), 0);
        player->setURL(song);
        QTest::qWait(20);
        player.reset();
        QCOMPARE(OpenHandlesOn(song), 0);
        QTest::qWait(300);  // no callback may reach what is gone
    }

    // The same pass that draws the waveform tells the chorus candidates,
    // once: a song shorter than a ringtone is proposed whole, without a fade.
    void theDecoderTellsWhatItLearntOnceAnalysed()
    {
        const auto player = ShownPlayer();
        player->setURL(songs_[2]);
        PeakDecoder* decoder = player->findChild<PeakDecoder*>();
        QVERIFY(decoder && decoder->candidates().empty());
        QSignalSpy analysed(decoder, &PeakDecoder::analysed);
        QTRY_COMPARE_WITH_TIMEOUT(analysed.count(), 1, kWait);
        QVERIFY(decoder->peaks().finished && decoder->analysis().Finished);
        QVERIFY(decoder->candidates().size() <= 1);
        const Proposal proposal = decoder->proposal(0);
        QCOMPARE(proposal.StartSeconds, 0.0);
        QVERIFY2(std::abs(proposal.EndSeconds - 8.0) < 0.05, qPrintable(QString::number(proposal.EndSeconds)));
        QCOMPARE(proposal.FadeOutSeconds, 0.0);
        QTest::qWait(200);
        QCOMPARE(analysed.count(), 1);
    }

    void notAudioIsAFlatLineAndNoHarm()
    {
        const QString notes = dir_.filePath(QStringLiteral("notes.mp3"));
        QFile file(notes);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("Not a song at all.\n").repeated(5000));
        file.close();
        const auto player = ShownPlayer();
        player->setURL(notes);
        QTRY_VERIFY_WITH_TIMEOUT(Bar(*player)->peaks() && Bar(*player)->peaks()->failed, kWait);
        for (const auto& column : Bar(*player)->columns())
            QCOMPARE(column.peak, 0.0f);
        QCOMPARE(player->findChild<QLabel*>(QStringLiteral("status"))->text(), QStringLiteral("无法播放此文件"));
        // The player goes on with a good song.
        player->setURL(songs_[0]);
        QTRY_VERIFY_WITH_TIMEOUT(Finished(*Bar(*player)), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(player->currentPosition() > 0.1, kWait);
    }

private:
    QTemporaryDir dir_;
    QStringList songs_;
};

QTEST_MAIN(WaveformTest)
#include "waveform_test.moc"
