// The whole tool with the real player on real MP3 files made by the test:
// load, seek, Start, End, and a real decoder checks the ringtone.

#include "cut_engine.h"
#include "fakes.h"
#include "frm.h"
#include "media_player_widget.h"
#include "mp3_fixture.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace sundrel;
using namespace sundrel::testing;
namespace fixture = sundrel::test;

namespace {

constexpr double kSongSeconds = 30;

// The main window with the real player, the dialogs faked.
struct RealWindow {
    SharedCutState shared;
    FakeDesktop desktop;
    AppServices services{shared, desktop, [](int volume) { return new MediaPlayerWidget(volume); }};
    Frm frm{services};

    MediaPlayerWidget* player() const { return frm.findChild<MediaPlayerWidget*>(QStringLiteral("MDplay")); }
    QString field(int i) const { return frm.findChild<QLineEdit*>(QStringLiteral("txtSplit(%1)").arg(i))->text(); }

    // Pauses and moves the player, then waits until it is there.
    bool seekTo(double seconds)
    {
        player()->pause();
        player()->seek(seconds);
        return QTest::qWaitFor([&] { return std::abs(player()->currentPosition() - seconds) < 0.05; }, 10000);
    }
};

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
        if (!headTag && !tailTag) {
            // Without tags the size fields are the whole file's proportion.
            const double sourceKB = *TextToNumber(BytesToKbText(sourceLen));
            QCOMPARE(w.field(0), QString::fromStdString(NumberToText(start / duration * sourceKB)));
        }

        const QString kept = dir.filePath(QStringLiteral("[铃声]1铃声测试 歌曲.mp3"));
        QVERIFY(QFile::exists(kept));
        const std::int64_t soundBytes = sourceLen - headTag - (tailTag ? 128 : 0);
        const double expectedBytes = (end - start) / duration * soundBytes;
        QVERIFY2(std::abs(QFileInfo(kept).size() - expectedBytes) <= BlockSize,
                 qPrintable(QStringLiteral("%1 bytes, expected %2").arg(QFileInfo(kept).size()).arg(expectedBytes)));

        const fixture::Decoded decoded = fixture::DecodeWithMpg123(kept.toStdString());
        QCOMPARE(decoded.exitStatus, 0);
        QVERIFY2(std::abs(decoded.seconds() - (end - start)) <= 0.15, qPrintable(QString::number(decoded.seconds())));
        // The sound steps from second 10 to second 11 where the song does.
        const double step = StepTime(decoded, 10);
        QVERIFY2(step > 0, "no step to second 11 in the ringtone");
        const double decodedStart = 11 - step;
        QVERIFY2(std::abs(decodedStart - start) <= 0.1, qPrintable(QStringLiteral("starts at %1 s").arg(decodedStart)));
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
