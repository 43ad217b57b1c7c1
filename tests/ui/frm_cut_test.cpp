// SPDX-License-Identifier: GPL-3.0-or-later
// Start, End and the cut, and save as, through the handlers, on real files.

#include "child_process.h"
#include "cut_engine.h"
#include "fakes.h"
#include "frm.h"
#include "mp3_fixture.h"
#include "process_setup.h"
#include "xing_frame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <cstdint>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <vector>

using namespace sundrel;
using namespace sundrel::testing;

namespace {

// Frames of MPEG audio whose bytes tell their own offset, so a misplaced
// cut cannot pass.
std::string Pattern(std::size_t bytes) { return sundrel::test::FramedBytes(bytes); }

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Bytes with no frame sync in them: a file the frame walk finds nothing in.
std::string Frameless(std::size_t bytes)
{
    std::string data(bytes, '\0');
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<char>(i % 251);
    return data;
}

// A main window with a 10,000,000-byte song loaded from a folder; its player
// says 100 s, which only a file without frames is taken at.
struct Loaded {
    explicit Loaded(std::size_t bytes = 10'000'000, bool framed = true)
    {
        source = dir.filePath(QStringLiteral("song.mp3"));
        data = framed ? Pattern(bytes) : Frameless(bytes);
        std::ofstream(source.toStdString(), std::ios::binary) << data;
        fake.desktop.openAnswers << source;
        frm.cmdBrowseS_Click();
        player()->length = 100;
    }

    FakePlayer* player() { return fake.players[0]; }
    QString field(int i) { return frm.findChild<QLineEdit*>(QStringLiteral("txtSplit(%1)").arg(i))->text(); }
    QString label(const char* name) { return frm.findChild<QLabel*>(QString::fromUtf8(name))->text(); }
    QString piece(int i) { return dir.filePath(QStringLiteral("[铃声]%1song.mp3").arg(i)); }
    void cut(double start, double end)
    {
        player()->position = start;
        frm.cmdQ_Click();
        player()->position = end;
        frm.Command1_Click();
    }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }
    // The size field a moment gets, and what the kept file of a cut must
    // hold: the header the song map makes, then the song's bytes it chose.
    QString fieldAt(double from, double to = 0)
    {
        const SongMap& map = frm.cutState().SourceMap;
        const double duration = fake.shared.MediaDuration;
        return QString::fromStdString(
            NumberToText(*map.PositionToKB(from, duration) - (to > 0 ? *map.PositionToKB(to, duration) : 0)));
    }
    QByteArray kept(double start, double end)
    {
        const auto piece = frm.cutState().SourceMap.Kept(start, end);
        if (!piece)
            return {};
        return QByteArray(reinterpret_cast<const char*>(piece->Header.data()), qsizetype(piece->Header.size())) +
               ReadAll(source).mid(piece->Begin(), piece->End() - piece->Begin());
    }
    // Hidden ones too: a cut's unfinished pieces start with a dot.
    QStringList allFiles() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    QTemporaryDir dir;
    QString source;
    std::string data;
    FakeServices fake;
    Frm frm{fake.services};
};

// The status label and the message boxes, one line each.
QStringList WhatTheWindowSaid(Loaded& s)
{
    QStringList said{s.label("lb")};
    for (const FakeDesktop::Message& m : s.fake.desktop.messages)
        said << m.text + QLatin1Char('|') + m.title;
    return said;
}

}  // namespace

class FrmCutTest : public QObject {
    Q_OBJECT

private slots:
    // The sizes of the worked example, on a file without frames: the fields
    // and the plan as ever, but End refuses it, since no player could play a
    // slice of it.
    void workedExampleSizesTheFieldsAndOnlyASongIsCut()
    {
        Loaded s(10'000'000, false);
        s.player()->position = 10;
        s.frm.cmdQ_Click();
        QCOMPARE(s.field(0), QStringLiteral("976.56"));
        QCOMPARE(s.label("lb"), QStringLiteral("开始。。。"));
        QCOMPARE(s.label("lbk"), QStringLiteral(" 10秒"));

        s.player()->position = 12;
        s.frm.Command1_Click();
        QCOMPARE(s.field(1), QStringLiteral("195.312"));
        QCOMPARE(s.field(2), QStringLiteral("8593.8"));
        QCOMPARE(s.frm.cutState().SegBytes, (std::vector<std::int64_t>{999'997, 199'999, 8'800'004}));
        QCOMPARE(s.fake.desktop.messages.size(), 1);
        QCOMPARE(s.fake.desktop.messages[0].title, QStringLiteral("提示"));
        QVERIFY(s.fake.desktop.messages[0].text.contains(QStringLiteral("如何剪切其他格式")));
        QCOMPARE(s.files(), QStringList({"song.mp3"}));
        QCOMPARE(s.fake.shared.SourceKB, 9765.6);

        // A song with frames is cut on them.
        Loaded f;
        f.cut(10, 12);
        QCOMPARE(ReadAll(f.piece(1)), f.kept(10, 12));
        QCOMPARE(f.files(), QStringList({"[铃声]1song.mp3", "song.mp3"}));
        QCOMPARE(f.label("lb"), QStringLiteral("剪切完成，请试听"));
        QCOMPARE(f.label("lbj"), QStringLiteral(" 12秒"));
        QVERIFY(f.player()->paused);
        QVERIFY(f.fake.desktop.messages.isEmpty());
        QCOMPARE(f.fake.shared.StartPos, std::string("10"));
        QCOMPARE(f.fake.shared.EndPos, std::string("12"));
    }

    // A dropped start mark is Start at that moment, playback left alone;
    // after a cut, a dropped mark cuts again at once, and an open preview
    // plays the new ringtone.
    void droppedMarksStartAndCutAgain()
    {
        Loaded s;
        s.player()->position = 30;
        s.frm.cmdQ_Click();
        s.player()->dropMark(PlayerMark::Start, 10);
        QCOMPARE(s.fake.shared.StartPos, std::string("10"));
        QCOMPARE(s.field(0), s.fieldAt(10));
        QCOMPARE(s.label("lbk"), QStringLiteral(" 10秒"));
        QCOMPARE(s.label("lb"), QStringLiteral("开始。。。"));
        QCOMPARE(s.player()->position, 30.0);
        QVERIFY(s.files() == QStringList({"song.mp3"}) && s.player()->markStart == 10.0);

        s.player()->position = 12;
        s.frm.Command1_Click();
        s.frm.Command2_Click();
        FakePlayer* preview = s.fake.players[1];
        const int loads = preview->loads;
        s.player()->dropMark(PlayerMark::End, 11);
        QCOMPARE(ReadAll(s.piece(1)), s.kept(10, 11));
        QCOMPARE(s.label("lbj"), QStringLiteral(" 11秒"));
        QCOMPARE(s.player()->markEnd, 11.0);
        QCOMPARE(preview->loads, loads + 1);
        QCOMPARE(preview->url, s.piece(1));
        s.player()->dropMark(PlayerMark::Start, 10.5);
        QCOMPARE(ReadAll(s.piece(1)), s.kept(10.5, 11));
        QVERIFY(s.fake.desktop.messages.isEmpty());
    }

    // A fade the song's frames cannot carry (Layer II) is refused, said as
    // such; the ringtone, its marks and its level stay as they were.
    void aFadeNoFrameCanCarryIsRefused()
    {
        Loaded s(1000);
        // MPEG-1 Layer II, 160 kbit/s, 44.1 kHz, mono: 522-byte frames.
        std::string frame("\xFF\xFD\x90\xC0", 4);
        frame.resize(522, '\x55');
        std::ofstream out(s.source.toStdString(), std::ios::binary | std::ios::trunc);
        for (int i = 0; i < 400; ++i)
            out << frame;
        out.close();
        s.fake.desktop.openAnswers << s.source;
        s.frm.cmdBrowseS_Click();
        FakePlayer* player = s.player();
        player->length = 10;
        s.cut(2, 6);
        QVERIFY(s.fake.desktop.messages.isEmpty());
        const QByteArray before = ReadAll(s.piece(1));

        player->askFade(PlayerFade::In, 1.0);
        QCOMPARE(s.fake.desktop.messages.size(), 1);
        QCOMPARE(s.fake.desktop.messages[0].text, QStringLiteral("此文件的帧无法渐入渐出或调节音量！"));
        QCOMPARE(s.fake.desktop.messages[0].title, QStringLiteral("提示"));
        QCOMPARE(ReadAll(s.piece(1)), before);
        QVERIFY(player->markStart && player->markEnd);
        QVERIFY(s.frm.keptGain() == KeptGain{});
        QCOMPARE(player->fades, (std::array<double, 3>{0, 0, 0}));
        QCOMPARE(s.allFiles().size(), 2);
    }

    void endTwiceAfterOneStartReusesTheStart()
    {
        Loaded s;
        s.cut(10, 12);
        s.player()->position = 11;
        s.frm.Command1_Click();
        QCOMPARE(ReadAll(s.piece(1)), s.kept(10, 11));
        QVERIFY(s.fake.desktop.messages.isEmpty());
    }

    void refusalsSayWhyAndWriteNothing()
    {
        {  // nothing loaded
            FakeServices fake;
            Frm frm(fake.services);
            frm.cmdQ_Click();
            frm.Command1_Click();
            QCOMPARE(fake.desktop.messages.size(), 2);
            QCOMPARE(fake.desktop.messages[0].text, QStringLiteral("请选择要剪切的MP3文件！"));
            QCOMPARE(fake.desktop.messages[0].title, QString());
            QCOMPARE(fake.desktop.messages[1].text, QStringLiteral("请先选择起点！"));
            QCOMPARE(fake.desktop.messages[1].title, QString());
        }
        {  // no folder
            Loaded s;
            s.frm.findChild<QLineEdit*>(QStringLiteral("txtDestdir"))->clear();
            s.cut(10, 12);
            QCOMPARE(s.fake.desktop.messages.size(), 1);
            QCOMPARE(s.fake.desktop.messages[0].text, QStringLiteral("请选择要存放的文件夹！"));
            QCOMPARE(s.fake.desktop.messages[0].title, QStringLiteral("提示"));
            // The length was written before the refusal.
            QCOMPARE(s.field(1), s.fieldAt(12, 10));
            QCOMPARE(s.files(), QStringList({"song.mp3"}));
        }
        {  // the song vanished: the cut fails
            Loaded s;
            QFile::remove(s.source);
            s.cut(10, 12);
            QCOMPARE(s.fake.desktop.messages.size(), 1);
            QCOMPARE(s.fake.desktop.messages[0].text, QStringLiteral("剪切失败，请检查MP3文件和存放的文件夹！"));
            QCOMPARE(s.fake.desktop.messages[0].title, QStringLiteral("提示"));
            QVERIFY(s.files().isEmpty());
        }
        {  // End at or before Start
            Loaded s;
            for (const double end : {10.0, 8.0}) {
                s.fake.desktop.messages.clear();
                s.cut(10, end);
                QCOMPARE(s.fake.desktop.messages.size(), 1);
                QCOMPARE(s.fake.desktop.messages[0].text, QStringLiteral("结束时间必须在开始时间之后！"));
                QCOMPARE(s.fake.desktop.messages[0].title, QStringLiteral("提示"));
                QCOMPARE(s.files(), QStringList({"song.mp3"}));
            }
        }
    }

    // An MP3 song the player cannot play, or whose encoder delay and
    // padding leave no sound, is refused as what it is, at Start and at End.
    void unplayableAndSilentSongsSayWhy_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::newRow("the player cannot play it") << false;
        QTest::newRow("no sound left") << true;
    }

    void unplayableAndSilentSongsSayWhy()
    {
        QFETCH(bool, silent);
        Loaded s;
        if (silent) {
            // Five frames after an Info frame whose record drops more.
            const std::string frames = Pattern(5 * 417);
            XingFields fields;
            fields.Info = true;
            fields.Frames = 5;
            fields.Record = Gapless{MaxGaplessSamples, MaxGaplessSamples};
            const auto info = BuildXingFrame(
                *ParseFrameHeader({reinterpret_cast<const unsigned char*>(frames.data()), frames.size()}), fields);
            std::ofstream(s.source.toStdString(), std::ios::binary | std::ios::trunc)
                << std::string(info.begin(), info.end()) + frames;
            s.fake.desktop.openAnswers << s.source;
            s.frm.cmdBrowseS_Click();
        } else {
            s.player()->failed = true;
        }
        s.cut(0.01, 0.05);
        const QString text = silent ? QStringLiteral("此MP3文件没有声音，不能剪切！")
                                    : QStringLiteral("播放器无法播放此MP3文件，不能剪切！");
        QCOMPARE(s.fake.desktop.messages.size(), 2);
        for (const auto& said : s.fake.desktop.messages) {
            QCOMPARE(said.text, text);
            QCOMPARE(said.title, QStringLiteral("提示"));
        }
        QCOMPARE(s.files(), QStringList({"song.mp3"}));
    }

    void endWithoutAStartOnThisSongIsRefused()
    {
        Loaded s;
        s.cut(10, 12);
        QFile::remove(s.piece(1));
        // The next song: its earlier start mark and size fields must not cut it.
        s.fake.desktop.openAnswers << s.source;
        s.frm.cmdBrowseS_Click();
        s.player()->position = 20;
        s.frm.Command1_Click();
        QCOMPARE(s.fake.desktop.messages.size(), 1);
        QCOMPARE(s.fake.desktop.messages[0].text, QStringLiteral("请先选择起点！"));
        QCOMPARE(s.files(), QStringList({"song.mp3"}));
    }

    // The song changed between Start and End: nothing is cut with the map
    // of the song that was, and the one now there is taken up again.
    void aSongChangedBeforeEndIsTakenUpAgain_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<QString>("said");
        const QString changed = QStringLiteral("MP3文件已改变，已重新载入，请重新选择起点！");
        const QString failed = QStringLiteral("剪切失败，请检查MP3文件和存放的文件夹！");
        QTest::newRow("another song renamed onto it") << 10'000'000 << false << changed;
        QTest::newRow("rewritten in place, same size") << 10'000'000 << true << changed;
        QTest::newRow("shrunk") << 1'000'000 << true << failed;
    }

    void aSongChangedBeforeEndIsTakenUpAgain()
    {
        QFETCH(int, bytes);
        QFETCH(bool, inPlace);
        QFETCH(QString, said);
        Loaded s;
        s.player()->position = 10;
        s.frm.cmdQ_Click();
        const QString other = inPlace ? s.source : s.dir.filePath(QStringLiteral("other"));
        std::ofstream(other.toStdString(), std::ios::binary | std::ios::trunc)
            << std::string(5000, 'x') << Pattern(bytes - 5000);
        if (!inPlace)
            QVERIFY(QFile::rename(other, s.source) || (QFile::remove(s.source) && QFile::rename(other, s.source)));
        s.player()->position = 12;
        s.frm.Command1_Click();
        QCOMPARE(s.fake.desktop.messages.size(), 1);
        QCOMPARE(s.fake.desktop.messages[0].text, said);
        QCOMPARE(s.fake.desktop.messages[0].title, QStringLiteral("提示"));
        QCOMPARE(s.allFiles(), QStringList({"song.mp3"}));
        QCOMPARE(s.player()->loads, 2);
        QCOMPARE(s.frm.cutState().SourceLen, bytes);

        // The song now there cuts, from a Start made on it.
        s.player()->length = 100;
        s.cut(10, 12);
        QCOMPARE(s.fake.desktop.messages.size(), 1);
        // Cut on the frames of the song now there, past its 5000 odd bytes.
        QCOMPARE(ReadAll(s.piece(1)), s.kept(10, 12));
        QCOMPARE((s.frm.cutState().SegBytes[0] - 5000) % 417, 0);
    }

    // Presses while the song is mapped are refused, said, and leave no mark;
    // a walk that takes a while is said in the status.
    void pressesWhileTheSongIsMappedAreRefused()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("song.mp3"));
        std::ofstream(source.toStdString(), std::ios::binary) << Pattern(20'000'000);
        FakeServices fake;
        Frm frm(fake.services);
        auto* lb = frm.findChild<QLabel*>(QStringLiteral("lb"));
        lb->setText(QStringLiteral("剪切完成，请试听"));
        QString statusMeanwhile;
        QTimer::singleShot(0, &frm, [&] {
            // A slow disk: the walk has taken more than half a second.
            QThread::msleep(600);
            QCoreApplication::processEvents();
            statusMeanwhile = lb->text();
            fake.players[0]->length = 100;
            frm.cmdQ_Click();
            frm.Command1_Click();
        });
        fake.desktop.openAnswers << source;
        frm.cmdBrowseS_Click();

        QCOMPARE(statusMeanwhile, QStringLiteral("读取歌曲。。。"));
        const QFontMetrics metrics(lb->font());
        const QRect needed = metrics.boundingRect(QRect(0, 0, lb->width(), 1000), Qt::TextWordWrap, statusMeanwhile);
        QVERIFY(needed.width() <= lb->width() && needed.height() <= lb->height());
        QCOMPARE(lb->text(), QStringLiteral("剪切完成，请试听"));
        QCOMPARE(fake.desktop.messages.size(), 2);
        for (const FakeDesktop::Message& m : fake.desktop.messages) {
            QCOMPARE(m.text, QStringLiteral("正在读取歌曲，请稍候再按！"));
            QCOMPARE(m.title, QStringLiteral("提示"));
        }
        QVERIFY(!fake.players[0]->markStart);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"song.mp3"}));
        // Once mapped, the song cuts.
        frm.cmdQ_Click();
        QCOMPARE(fake.desktop.messages.size(), 2);
    }

    void startAtZeroKeepsTheSelectionFromTheFirstByte()
    {
        Loaded s;
        s.cut(0, 2);
        QCOMPARE(s.field(0), QStringLiteral("0.0"));
        QCOMPARE(ReadAll(s.piece(1)), s.kept(0, 2));
        QCOMPARE(s.files(), QStringList({"[铃声]1song.mp3", "song.mp3"}));
    }

    // A song with frames knows its own length; a file without them waits
    // for the player's.
    void unknownDurationNeverReachesAField()
    {
        Loaded s(10'000'000, false);
        s.player()->length = 0;
        s.cut(10, 12);
        QCOMPARE(s.field(0), QStringLiteral("0"));
        QCOMPARE(s.field(1), QStringLiteral("0"));
        QCOMPARE(s.fake.desktop.messages.size(), 1);
        QCOMPARE(s.fake.desktop.messages[0].text, QStringLiteral("请先选择起点！"));
        QCOMPARE(s.files(), QStringList({"song.mp3"}));
    }

    void aFileSizeLimitFailsTheCutAndKeepsTheEarlierRingtone()
    {
        Loaded s;
        s.cut(10, 12);
        const QByteArray earlier = ReadAll(s.piece(1));
        QCOMPARE(earlier, s.kept(10, 12));

        // The program's own set-up, then a limit the longer ringtone
        // (30 s, some 480 KB) cannot fit; without the set-up the child dies.
        const Child child = RunInChild([&] {
            PrepareProcess();
            const rlimit limit{300'000, 300'000};
            setrlimit(RLIMIT_FSIZE, &limit);
            s.cut(10, 40);
            return WhatTheWindowSaid(s);
        });
        QVERIFY2(WIFEXITED(child.status) && WEXITSTATUS(child.status) == 0, "the cut did not end normally");
        QCOMPARE(child.said, QStringList({"剪切失败", "剪切失败，请检查MP3文件和存放的文件夹！|提示"}));
        QCOMPARE(ReadAll(s.piece(1)), earlier);
        QCOMPARE(s.allFiles(), QStringList({"[铃声]1song.mp3", "song.mp3"}));
    }

    void piecesLeftBehindAreSaidPlainly_data()
    {
        QTest::addColumn<int>("songBytes");
        QTest::addColumn<double>("end");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QStringList>("files");
        // The folder turns read-only the first time the window handles events
        // during the cut, at the first whole block: with Start at 0, in the
        // rest of the song when the ringtone's frames are shorter than a block
        // (two frames), in the ringtone otherwise.
        QTest::newRow("folder read-only once the ringtone is in place")
            << 100'000 << 0.03 << QStringList({"剪切完成，残片未删除"}) << true
            << QStringList({".[铃声]2song.mp3.part0", "[铃声]0song.mp3", "[铃声]1song.mp3", "song.mp3"});
        QTest::newRow("folder read-only while the ringtone is written")
            << 10'000'000 << 2.0
            << QStringList({"剪切失败，残片未删除", "剪切失败，请检查MP3文件和存放的文件夹！|提示"}) << false
            << QStringList({".[铃声]1song.mp3.part0", "[铃声]0song.mp3", "song.mp3"});
    }

    void piecesLeftBehindAreSaidPlainly()
    {
        QFETCH(int, songBytes);
        QFETCH(double, end);
        QFETCH(QStringList, said);
        QFETCH(bool, kept);
        QFETCH(QStringList, files);
        Loaded s(songBytes);
        const QByteArray folder = QFile::encodeName(s.dir.path());
        // Root writes into any folder whatever its mode, so a root run hands
        // the folder to an ordinary user and cuts as that user.
        if (geteuid() == 0)
            for (const QString& path : {s.dir.path(), s.source})
                QVERIFY(chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0);

        const Child child = RunInChild([&] {
            if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
                _exit(4);
            QTimer::singleShot(0, [&] { chmod(folder.constData(), 0555); });
            s.cut(0, end);
            return WhatTheWindowSaid(s);
        });
        chmod(folder.constData(), 0755);
        QVERIFY2(WIFEXITED(child.status) && WEXITSTATUS(child.status) == 0, "the cut did not end normally");
        QCOMPARE(child.said, said);
        QCOMPARE(ReadAll(s.piece(1)), kept ? s.kept(0, end) : QByteArray());
        QCOMPARE(s.allFiles(), files);

        // The status label holds it on its two lines.
        auto* lb = s.frm.findChild<QLabel*>(QStringLiteral("lb"));
        const QFontMetrics metrics(lb->font());
        const QRect needed = metrics.boundingRect(QRect(0, 0, lb->width(), 1000), Qt::TextWordWrap, said[0]);
        QVERIFY2(needed.width() <= lb->width() && needed.height() <= lb->height(), qPrintable(said[0]));
    }

    // Two cuts of one song into one folder at once, in two processes (two
    // copies of the program): the second waits until the first has put its
    // ringtone in place and cleared its pieces, and neither touches the
    // other's files, so that what each says is true of the file it wrote.
    void twoCutsAtOnceTakeTurns()
    {
        Loaded s;
        int toFirst[2], toSecond[2];
        QVERIFY(pipe(toFirst) == 0 && pipe(toSecond) == 0);
        const pid_t first = fork();
        QVERIFY(first >= 0);
        if (first == 0) {
            close(toFirst[1]);
            close(toSecond[0]);
            // From Start at 0 the first event pass comes while the ringtone
            // is written: there the first cut waits for the second to begin.
            char sign = 'w';
            QTimer::singleShot(0, &s.frm, [&] {
                if (write(toSecond[1], &sign, 1) != 1 || read(toFirst[0], &sign, 1) != 1)
                    _exit(3);
            });
            s.cut(0, 40);
            QStringList report = WhatTheWindowSaid(s);
            report << (ReadAll(s.piece(1)) == s.kept(0, 40) ? QStringLiteral("its own ringtone")
                                                            : QStringLiteral("another file"));
            const QByteArray said = report.join(QLatin1Char('\n')).toUtf8();
            _exit(write(toSecond[1], said.constData(), said.size()) == said.size() ? 0 : 3);
        }
        close(toFirst[0]);
        close(toSecond[1]);
        char sign = 0;
        QVERIFY(read(toSecond[0], &sign, 1) == 1);
        // The first cut is writing the ringtone. The second begins and lets
        // it go on at its first event pass, and hears what it said.
        QString statusMeanwhile;
        QByteArray firstSaid;
        QTimer::singleShot(0, &s.frm, [&] {
            statusMeanwhile = s.label("lb");
            if (write(toFirst[1], &sign, 1) != 1)
                return;
            char buffer[4096];
            for (ssize_t n; (n = read(toSecond[0], buffer, sizeof buffer)) > 0;)
                firstSaid.append(buffer, n);
        });
        s.cut(50, 70);
        int status = -1;
        waitpid(first, &status, 0);
        close(toFirst[1]);
        close(toSecond[0]);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the first cut did not end normally");
        QCOMPARE(QString::fromUtf8(firstSaid).split(QLatin1Char('\n')),
                 QStringList({"剪切完成，请试听", "its own ringtone"}));
        QCOMPARE(statusMeanwhile, QStringLiteral("另有剪切，请稍候"));
        QCOMPARE(WhatTheWindowSaid(s), QStringList({"剪切完成，请试听"}));
        QCOMPARE(ReadAll(s.piece(1)), s.kept(50, 70));
        QCOMPARE(s.allFiles(), QStringList({"[铃声]1song.mp3", "song.mp3"}));
    }

    // A second window of the same program cutting into the folder from the
    // first one's event pass cannot wait for it: it is refused at once.
    void aCutFromAnotherWindowsCutIsRefused()
    {
        Loaded a, b;
        b.frm.findChild<QLineEdit*>(QStringLiteral("txtDestdir"))->setText(a.dir.path() + QLatin1Char('/'));
        QElapsedTimer took;
        QTimer::singleShot(0, &a.frm, [&] {
            took.start();
            b.cut(0, 20);
        });
        a.cut(0, 40);
        QVERIFY(took.elapsed() < 5000);
        QCOMPARE(WhatTheWindowSaid(b), QStringList({"剪切失败", "剪切失败，请检查MP3文件和存放的文件夹！|提示"}));
        QCOMPARE(WhatTheWindowSaid(a), QStringList({"剪切完成，请试听"}));
        QCOMPARE(ReadAll(a.piece(1)), a.kept(0, 40));
        QCOMPARE(a.allFiles(), QStringList({"[铃声]1song.mp3", "song.mp3"}));
    }

    void commandsDuringTheCutAreIgnored()
    {
        Loaded s;
        s.player()->position = 10;
        s.frm.cmdQ_Click();
        const QString startField = s.field(0);
        s.player()->position = 12;
        bool ranDuringCut = false;
        QTimer::singleShot(0, &s.frm, [&] {
            ranDuringCut = s.frm.isCutting();
            s.player()->position = 50;
            s.fake.desktop.saveAnswers << s.dir.filePath(QStringLiteral("other"));
            s.frm.cmdQ_Click();
            s.frm.Command1_Click();
            s.frm.Command2_Click();
            s.frm.Command5_Click();
        });
        s.frm.Command1_Click();
        QVERIFY(ranDuringCut);
        QCOMPARE(s.field(0), startField);
        QCOMPARE(s.fake.players.size(), 1);              // no preview window
        QCOMPARE(s.fake.desktop.saveAnswers.size(), 1);  // no save dialog
        QCOMPARE(ReadAll(s.piece(1)), s.kept(10, 12));
    }

    void closingDuringTheCutLeavesNoPiece()
    {
        Loaded s;
        s.frm.show();
        QTimer::singleShot(0, &s.frm, &QWidget::close);
        s.cut(10, 12);
        QVERIFY(!s.frm.isVisible());
        QCOMPARE(s.files(), QStringList({"song.mp3"}));
        QVERIFY(s.fake.desktop.messages.isEmpty());
    }

    void saveAsMovesTheKeptFile()
    {
        Loaded s;
        s.cut(10, 12);
        const QByteArray kept = ReadAll(s.piece(1));
        s.fake.desktop.saveAnswers << s.dir.filePath(QStringLiteral("ring"));
        s.frm.Command5_Click();
        QCOMPARE(s.fake.desktop.saveStart, s.dir.path() + QLatin1Char('/'));
        QCOMPARE(s.fake.desktop.saveTitle, QStringLiteral("保存音频文件"));
        QCOMPARE(s.fake.desktop.saveFilter, QStringLiteral("MP3音频文件|*.mp3|苹果手机铃声|*.m4r"));
        QCOMPARE(s.files(), QStringList({"ring.mp3", "song.mp3"}));
        QCOMPARE(ReadAll(s.dir.filePath(QStringLiteral("ring.mp3"))), kept);

        s.cut(10, 12);
        s.fake.desktop.saveAnswers << s.dir.filePath(QStringLiteral("Ring2.MP3"));
        s.frm.Command5_Click();
        QCOMPARE(s.files(), QStringList({"Ring2.MP3", "ring.mp3", "song.mp3"}));

        // Onto an existing file, once the dialog's overwrite question was answered yes.
        s.cut(20, 21);
        s.fake.desktop.saveAnswers << s.dir.filePath(QStringLiteral("ring.mp3"));
        s.frm.Command5_Click();
        QCOMPARE(ReadAll(s.dir.filePath(QStringLiteral("ring.mp3"))), s.kept(20, 21));
        QVERIFY(s.fake.desktop.messages.isEmpty());
    }

    void saveDialogOpensBesideTheKeptFile()
    {
        // The destination chosen in the folder chooser after the song: the
        // save dialog opens there, not where any other dialog was.
        Loaded s;
        QVERIFY(QDir(s.dir.path()).mkdir(QStringLiteral("rings")));
        const QString rings = s.dir.filePath(QStringLiteral("rings"));
        s.fake.desktop.folderAnswers << rings;
        s.frm.cmdBrowseD_Click();
        s.frm.Command5_Click();  // before any cut: the folder in the box
        QCOMPARE(s.fake.desktop.saveStart, rings + QLatin1Char('/'));
        s.cut(10, 12);
        s.fake.desktop.folderAnswers << QStringLiteral("/");
        s.frm.cmdBrowseD_Click();
        s.frm.Command5_Click();  // after it: the kept file's folder
        QCOMPARE(s.fake.desktop.saveStart, rings + QLatin1Char('/'));
    }

    void cancelledOrFailedSaveAsLosesNothing()
    {
        Loaded s;
        s.cut(10, 12);
        s.frm.Command5_Click();  // cancelled
        QCOMPARE(s.files(), QStringList({"[铃声]1song.mp3", "song.mp3"}));
        QVERIFY(s.fake.desktop.messages.isEmpty());

        s.fake.desktop.saveAnswers << s.dir.filePath(QStringLiteral("no such folder/ring"));
        s.frm.Command5_Click();
        QCOMPARE(s.files(), QStringList({"[铃声]1song.mp3", "song.mp3"}));
        QCOMPARE(s.fake.desktop.messages.size(), 1);
        QCOMPARE(s.fake.desktop.messages[0].text, QStringLiteral("另存为失败：文件夹不存在！"));
        QCOMPARE(s.fake.desktop.messages[0].title, QStringLiteral("提示"));

        // A name longer than the file system takes; the ringtone stays and
        // is still the window's: a later save as moves it.
        s.fake.desktop.saveAnswers << s.dir.filePath(QString(300, QLatin1Char('r')));
        s.frm.Command5_Click();
        QCOMPARE(s.fake.desktop.messages.size(), 2);
        QCOMPARE(s.fake.desktop.messages[1].text, QStringLiteral("另存为失败：不能使用此文件名！"));
        s.fake.desktop.saveAnswers << s.dir.filePath(QStringLiteral("ring"));
        s.frm.Command5_Click();
        QCOMPARE(s.files(), QStringList({"ring.mp3", "song.mp3"}));
    }

    // Another copy of the program cuts the same song into the same folder
    // after this window did, and its ringtone takes the name: this window's
    // save as, and its preview's delete, leave that file alone and say why.
    void anotherCopysRingtoneIsNeverTakenForOurs_data()
    {
        QTest::addColumn<bool>("saveAs");
        QTest::newRow("save as") << true;
        QTest::newRow("the preview's delete") << false;
    }

    void anotherCopysRingtoneIsNeverTakenForOurs()
    {
        QFETCH(bool, saveAs);
        Loaded s;
        s.cut(10, 12);
        // Previews of earlier cases may still be open: this window's is the new one.
        const auto previews = [] {
            QList<QWidget*> open;
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->objectName() == QLatin1String("FrmST") && window->isVisible())
                    open << window;
            return open;
        };
        const QList<QWidget*> before = previews();
        s.frm.Command2_Click();
        const Child other = RunInChild([&] {
            s.cut(50, 70);
            return WhatTheWindowSaid(s);
        });
        QVERIFY(WIFEXITED(other.status) && WEXITSTATUS(other.status) == 0);
        QCOMPARE(other.said, QStringList({"剪切完成，请试听"}));
        const QByteArray theirs = ReadAll(s.piece(1));
        QCOMPARE(theirs, s.kept(50, 70));

        QPointer<QWidget> preview;
        for (QWidget* window : previews())
            if (!before.contains(window))
                preview = window;
        QVERIFY(preview);
        if (saveAs) {
            s.fake.desktop.saveAnswers << s.dir.filePath(QStringLiteral("mine"));
            s.frm.Command5_Click();
            QCOMPARE(s.fake.desktop.saveAnswers.size(), 1);  // no dialog was shown
        } else {
            preview->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
            QVERIFY(preview->isVisible());
        }
        preview->close();
        QCOMPARE(ReadAll(s.piece(1)), theirs);
        QCOMPARE(s.files(), QStringList({"[铃声]1song.mp3", "song.mp3"}));
        QCOMPARE(WhatTheWindowSaid(s), QStringList({"剪切完成，请试听", "铃声已被其他程序改变，请重新剪切！|提示"}));
    }
};

QTEST_MAIN(FrmCutTest)
#include "frm_cut_test.moc"
