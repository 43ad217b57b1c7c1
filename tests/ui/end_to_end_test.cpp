// SPDX-License-Identifier: GPL-3.0-or-later
// The whole tool with the real player on real MP3 files made by the test:
// load, seek, Start, End, and a real decoder checks the ringtone.

#include "cut_engine.h"
#include "frm.h"
#include "mp3_fixture.h"
#include "mpeg_frames.h"
#include "process_setup.h"
#include "real_window.h"
#include "waveform_bar.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <span>
#include <system_error>
#include <vector>

#include <sys/stat.h>

using namespace sundrel;
using namespace sundrel::testing;
namespace fixture = sundrel::test;

namespace {

constexpr double kSongSeconds = 30;

// When the decoded sound steps from second `from`'s pitch to the next one's:
// the middle of the first 50 ms window whose pitch lies nearer the next.
// The first frames are passed over, where the decoder finds its feet.
double StepTime(const fixture::Decoded& decoded, int from)
{
    const double window = 0.05;
    const double between = (fixture::SteppedToneHz(from) + fixture::SteppedToneHz(from + 1)) / 2;
    for (double t = 0.06; t + window <= decoded.seconds(); t += 0.005) {
        if (fixture::EstimateHz(fixture::Span(decoded, t, t + window)) > between)
            return t + window / 2;
    }
    return -1;
}

}  // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void cutsTheMomentsThatWerePressed_data()
    {
        QTest::addColumn<int>("headTag");
        QTest::addColumn<bool>("tailTag");
        QTest::newRow("untagged") << 0 << false;
        QTest::newRow("60 KB head tag") << 60 * 1024 << false;
        QTest::newRow("500 KB head tag and ID3v1 tail") << 500 * 1024 << true;
    }

    void cutsTheMomentsThatWerePressed()
    {
        QFETCH(int, headTag);
        QFETCH(bool, tailTag);
        QTemporaryDir dir;
        const QString song = dir.filePath(QStringLiteral("铃声测试 歌曲.mp3"));
        QVERIFY(fixture::MakeSteppedToneMp3(song.toStdString(), kSongSeconds));
        if (headTag)
            QVERIFY(fixture::PrependId3v2(song.toStdString(), headTag));
        if (tailTag)
            QVERIFY(fixture::AppendId3v1(song.toStdString()));

        RealWindow w;
        w.desktop.openAnswers << song;
        w.frm.cmdBrowseS_Click();
        QTRY_VERIFY_WITH_TIMEOUT(w.player()->duration().value_or(0) > kSongSeconds - 1, 10000);
        const double duration = *w.player()->duration();

        QVERIFY(w.seekTo(10));
        const double start = w.player()->currentPosition();
        w.frm.cmdQ_Click();
        QVERIFY(w.seekTo(12));
        const double end = w.player()->currentPosition();
        w.frm.Command1_Click();
        QVERIFY(w.desktop.messages.isEmpty());

        const std::int64_t sourceLen = QFileInfo(song).size();
        // lame's Info frame after the tags holds no sound either.
        const auto bytes = fixture::ReadBytes(song.toStdString());
        const auto info = ParseFrameHeader(std::span(bytes).subspan(std::size_t(headTag)));
        QVERIFY(info);
        const std::int64_t head = headTag + info->Length();
        // The start field shows the frame that holds the moment, counted
        // from the decoder's first sample (lame's delay and its own 529).
        const FrameIndex& frames = w.frm.cutState().SourceMap.Frames();
        const auto frame = std::size_t((start * fixture::kSampleRate + 576 + 529) / 1152);
        QCOMPARE(w.field(0), QString::fromStdString(NumberToText(double(frames.Offset(frame)) / 1024.0)));

        // The kept frames are the selection's, and one or two before it
        // that the first one heard needs; its header frames come first.
        const QString kept = dir.filePath(QStringLiteral("[铃声]1铃声测试 歌曲.mp3"));
        QVERIFY(QFile::exists(kept));
        const std::int64_t soundBytes = sourceLen - head - (tailTag ? 128 : 0);
        const double expectedBytes = (end - start) / duration * double(soundBytes);
        const auto keptFrames = std::int64_t(QFileInfo(kept).size()) - std::int64_t(w.frm.cutState().KeptHeader.size());
        QVERIFY2(double(keptFrames) >= expectedBytes - info->Length() &&
                     double(keptFrames) <= expectedBytes + 3 * info->Length(),
                 qPrintable(QStringLiteral("%1 bytes, expected %2").arg(keptFrames).arg(expectedBytes)));

        const fixture::Decoded decoded = fixture::DecodeWithMpg123(kept.toStdString());
        QCOMPARE(decoded.exitStatus, 0);
        QVERIFY2(std::abs(decoded.seconds() - (end - start)) <= 0.15, qPrintable(QString::number(decoded.seconds())));
        // The sound steps from second 10 to second 11 where the song does.
        const double step = StepTime(decoded, 10);
        QVERIFY2(step > 0, "no step to second 11 in the ringtone");
        const double decodedStart = 11 - step;
        QVERIFY2(std::abs(decodedStart - start) <= 0.1, qPrintable(QStringLiteral("starts at %1 s").arg(decodedStart)));
    }

    void marksFollowStartAndTheCut()
    {
        QTemporaryDir dir;
        const QString song = dir.filePath(QStringLiteral("song.mp3"));
        const QString other = dir.filePath(QStringLiteral("other.mp3"));
        QVERIFY(fixture::MakeToneMp3(song.toStdString(), kSongSeconds));
        QVERIFY(fixture::MakeToneMp3(other.toStdString(), 5));
        RealWindow w;
        w.frm.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.frm));
        QVERIFY(w.choose(song, kSongSeconds - 1));
        auto* bar = w.player()->findChild<WaveformBar*>(QStringLiteral("seek"));
        const double duration = *w.player()->duration();

        // Start puts the mark on the pixel of the moment it stored.
        QVERIFY(w.seekTo(10));
        w.frm.cmdQ_Click();
        const double start = *TextToNumber(w.shared.StartPos);
        QVERIFY(bar->startMarkSeconds() && std::abs(*bar->startMarkSeconds() - start) <= 0.001);
        const int expected = int(start / duration * bar->width());
        QVERIFY2(
            std::abs(bar->columnOf(*bar->startMarkSeconds()) - expected) <= 1,
            qPrintable(
                QStringLiteral("mark at %1, moment at %2").arg(bar->columnOf(*bar->startMarkSeconds())).arg(expected)));
        QVERIFY(!bar->endMarkSeconds());

        // A refused End shades nothing; a cut shades what was cut.
        QVERIFY(w.seekTo(8));
        w.frm.Command1_Click();
        QCOMPARE(w.desktop.messages.size(), 1);
        QVERIFY(bar->startMarkSeconds() && !bar->endMarkSeconds());
        QVERIFY(w.seekTo(12));
        w.frm.Command1_Click();
        QCOMPARE(w.desktop.messages.size(), 1);
        QVERIFY(bar->endMarkSeconds() && std::abs(*bar->endMarkSeconds() - *TextToNumber(w.shared.EndPos)) <= 0.001);

        // A new song starts without marks.
        QVERIFY(w.choose(other, 4));
        QVERIFY(!bar->startMarkSeconds() && !bar->endMarkSeconds());
    }

    void otherFormatsPlayButAreNotCut_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("FLAC") << int(fixture::OtherAudio::Flac);
        QTest::newRow("Ogg Vorbis") << int(fixture::OtherAudio::Ogg);
        QTest::newRow("WAVE") << int(fixture::OtherAudio::Wav);
    }

    // Renamed to .mp3, they play; End refuses them, points to the help on
    // other formats, and writes nothing.
    void otherFormatsPlayButAreNotCut()
    {
        QFETCH(int, format);
        QTemporaryDir dir;
        const QString song = dir.filePath(QStringLiteral("song.mp3"));
        QVERIFY(fixture::MakeToneIn(fixture::OtherAudio(format), song.toStdString(), 6));
        RealWindow w;
        QVERIFY(w.choose(song, 5));
        QVERIFY(w.seekTo(1));
        w.frm.cmdQ_Click();
        QVERIFY(w.seekTo(3));
        w.frm.Command1_Click();
        QCOMPARE(w.desktop.messages.size(), 1);
        QCOMPARE(w.desktop.messages[0].text, QStringLiteral("只能剪切MP3文件，其他格式请看“如何剪切其他格式”！"));
        QCOMPARE(w.desktop.messages[0].title, QStringLiteral("提示"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"song.mp3"}));
    }

    void hostileFilesNeitherHangNorCrash_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("APE size near 4 GiB") << QStringLiteral("ape");
        QTest::newRow("APE size near 4 GiB with header") << QStringLiteral("ape+header");
        QTest::newRow("1000 chained ID3v2 headers") << QStringLiteral("chain");
    }

    // Files that would hang or abort the media library: the player says it
    // cannot play them, nothing blocks, and the next song plays as ever.
    void hostileFilesNeitherHangNorCrash()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString good = dir.filePath(QStringLiteral("good.mp3"));
        const QString bad = dir.filePath(QStringLiteral("x.mp3"));
        QVERIFY(fixture::MakeToneMp3(good.toStdString(), 5));
        std::vector<std::uint8_t> bytes = fixture::ReadBytes(good.toStdString());
        const auto little = [&](std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                bytes.push_back(std::uint8_t(v >> (8 * i)));
        };
        if (kind == QLatin1String("fifo")) {
            QCOMPARE(mkfifo(QFile::encodeName(bad).constData(), 0600), 0);
        } else if (kind.startsWith(QLatin1String("ape"))) {
            const char footer[] = "APETAGEX";
            bytes.insert(bytes.end(), footer, footer + 8);
            little(2000);
            little(0xFFFFFFE8u);
            little(0);
            little(kind.endsWith(QLatin1String("header")) ? 0x80000000u : 0);
            bytes.insert(bytes.end(), 8, 0);
            QVERIFY(fixture::WriteBytes(bad.toStdString(), bytes));
        } else {
            std::vector<std::uint8_t> chain;
            for (int i = 0; i < 1000; ++i)
                chain.insert(chain.end(), {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0});
            bytes.insert(bytes.begin(), chain.begin(), chain.end());
            QVERIFY(fixture::WriteBytes(bad.toStdString(), bytes));
        }

        RealWindow w;
        QVERIFY(w.choose(good, 4));
        const std::int64_t goodLength = w.frm.cutState().SourceLen;
        w.desktop.openAnswers << bad;
        w.frm.cmdBrowseS_Click();
        auto* status = w.player()->findChild<QLabel*>(QStringLiteral("status"));
        QCOMPARE(status->text(), QStringLiteral("无法播放此文件"));
        QCOMPARE(w.frm.findChild<QLineEdit*>(QStringLiteral("txtSource"))->text(), bad);
        if (kind == QLatin1String("fifo"))
            QCOMPARE(w.frm.cutState().SourceLen, goodLength);  // a length that cannot be read
        QTest::qWait(300);
        QCOMPARE(status->text(), QStringLiteral("无法播放此文件"));

        QVERIFY(w.choose(good, 4));
        QTRY_VERIFY_WITH_TIMEOUT(w.player()->currentPosition() > 0.1, 10000);
    }

    // Names that are not UTF-8 (Latin-1, as old CDs ripped under Windows
    // spell them): café and cafè differ in one byte, which Qt alone reads as
    // U+FFFD in both. Given on the command line and dropped from the file
    // manager, each is played, drawn, cut and previewed as itself, and its
    // ringtone is named with its own bytes.
    void namesNotInUtf8AreTheirOwnFiles()
    {
        QTemporaryDir dir;
        const std::string folder = QFile::encodeName(dir.path()).toStdString() + '/';
        const std::filesystem::path acute = folder + "caf\xE9.mp3";
        const std::filesystem::path grave = folder + "caf\xE8.mp3";
        // Qt cannot remove what it cannot name: the folder is emptied here.
        const struct Emptied {
            std::filesystem::path folder;
            ~Emptied()
            {
                std::error_code ignored;
                for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
                    std::filesystem::remove(entry.path(), ignored);
            }
        } emptied{folder};
        QVERIFY(fixture::MakeToneMp3(acute, 20));
        QVERIFY(fixture::MakeToneMp3(grave, 8, 660));
        const auto acuteSong = fixture::ReadBytes(acute);
        const auto graveSong = fixture::ReadBytes(grave);

        RealWindow w;
        const auto cutFrom = [&](const std::filesystem::path& song, double hz, double from, double to) {
            QVERIFY(w.seekTo(from));
            w.frm.cmdQ_Click();
            QVERIFY(w.seekTo(to));
            w.frm.Command1_Click();
            QVERIFY(w.desktop.messages.isEmpty());
            const std::filesystem::path ringtone = folder + "[铃声]1" + song.filename().native();
            const auto kept = fixture::ReadBytes(ringtone);
            const auto bytes = fixture::ReadBytes(song);
            const CutState& cut = w.frm.cutState();
            QCOMPARE(kept.size(), cut.KeptHeader.size() + std::size_t(cut.SegBytes[1]));
            QVERIFY(std::equal(kept.begin() + std::ptrdiff_t(cut.KeptHeader.size()), kept.end(),
                               bytes.begin() + std::ptrdiff_t(cut.SegBytes[0])));
            const fixture::Decoded decoded = fixture::DecodeWithMpg123(ringtone);
            QCOMPARE(decoded.exitStatus, 0);
            QVERIFY(std::abs(fixture::EstimateHz(fixture::Span(decoded, 0.5, 1.5)) - hz) < 20);
        };

        // The command line hands argv's bytes.
        std::string argument = acute.native();
        char* argv[] = {const_cast<char*>("sundrel"), argument.data(), nullptr};
        w.frm.takeUpGiven(GivenOnCommandLine(UserArguments(2, argv)));
        QTRY_VERIFY_WITH_TIMEOUT(w.player()->duration().value_or(0) > 19, 10000);
        QCOMPARE(w.frm.findChild<QLineEdit*>(QStringLiteral("txtSource"))->text(),
                 dir.path() + QStringLiteral("/caf\uFFFD.mp3"));
        QTRY_VERIFY_WITH_TIMEOUT(w.player()->peakBetween(1, 19).value_or(0) > 0.1, 10000);
        cutFrom(acute, 440, 2, 5);
        if (QTest::currentTestFailed())
            return;
        w.frm.Command2_Click();
        QWidget* preview = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == QLatin1String("FrmST") && top->isVisible())
                preview = top;
        QVERIFY(preview);
        auto* previewPlayer = preview->findChild<MediaPlayerWidget*>(QStringLiteral("MDst"));
        QTRY_VERIFY_WITH_TIMEOUT(previewPlayer->currentPosition() > 0, 10000);
        QVERIFY(!previewPlayer->cannotPlay());
        // Its delete removes the ringtone by those bytes too.
        preview->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
        QVERIFY(!std::filesystem::exists(folder + "[铃声]1caf\xE9.mp3"));

        // A drop carries the name percent-encoded, byte by byte.
        QMimeData data;
        data.setUrls({QUrl::fromEncoded("file://" + QByteArray::fromStdString(grave.native()).toPercentEncoding("/"),
                                        QUrl::StrictMode)});
        QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w.frm, &enter);
        QDropEvent drop(QPointF(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w.frm, &drop);
        QVERIFY(drop.isAccepted());
        // The box shows both names alike: the player tells them apart.
        QTRY_VERIFY_WITH_TIMEOUT(w.player()->duration().value_or(0) > 7 && *w.player()->duration() < 9, 10000);
        cutFrom(grave, 660, 1, 4);
        if (QTest::currentTestFailed())
            return;
        // 另存为 proposes the name as shown; the name typed is UTF-8.
        const auto ringtone = fixture::ReadBytes(folder + "[铃声]1caf\xE8.mp3");
        w.desktop.saveAnswers << dir.filePath(QStringLiteral("铃声"));
        w.frm.Command5_Click();
        QCOMPARE(w.desktop.saveName, QStringLiteral("[铃声]1caf\uFFFD.mp3"));
        QCOMPARE(fixture::ReadBytes(folder + "铃声.mp3"), ringtone);

        // Each song as it was, and the one ringtone left, saved.
        QCOMPARE(fixture::ReadBytes(acute), acuteSong);
        QCOMPARE(fixture::ReadBytes(grave), graveSong);
        const auto entries = std::filesystem::directory_iterator(folder);
        QCOMPARE(std::distance(std::filesystem::begin(entries), std::filesystem::end(entries)), 3);
    }

    void previewAndDeleteARealKeptFile()
    {
        QTemporaryDir dir;
        const QString song = dir.filePath(QStringLiteral("song.mp3"));
        QVERIFY(fixture::MakeToneMp3(song.toStdString(), kSongSeconds));
        RealWindow w;
        w.desktop.openAnswers << song;
        w.frm.cmdBrowseS_Click();
        QTRY_VERIFY_WITH_TIMEOUT(w.player()->duration().value_or(0) > kSongSeconds - 1, 10000);
        QVERIFY(w.seekTo(5));
        w.frm.cmdQ_Click();
        QVERIFY(w.seekTo(9));
        w.frm.Command1_Click();
        const QString kept = dir.filePath(QStringLiteral("[铃声]1song.mp3"));
        QVERIFY(QFile::exists(kept));

        w.frm.Command2_Click();
        QWidget* preview = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == QLatin1String("FrmST"))
                preview = top;
        QVERIFY(preview);
        auto* previewPlayer = preview->findChild<MediaPlayerWidget*>(QStringLiteral("MDst"));
        QCOMPARE(previewPlayer->volume(), 77);
        QTRY_VERIFY_WITH_TIMEOUT(previewPlayer->duration().value_or(0) > 3, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(previewPlayer->currentPosition() > 0, 10000);

        QPointer<QWidget> guard(preview);
        preview->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
        QVERIFY(!QFile::exists(kept));
        QVERIFY(QFile::exists(song));
        QTRY_VERIFY(guard.isNull());
    }
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    EndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "end_to_end_test.moc"
