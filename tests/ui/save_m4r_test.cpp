// SPDX-License-Identifier: GPL-3.0-or-later
// 另存为 with a name ending in .m4r: an iPhone's ringtone written beside the
// MP3 ringtone, from its sound, and every refusal leaving nothing behind.

#include "child_process.h"
#include "fakes.h"
#include "frm.h"
#include "media_player.h"
#include "mp3_fixture.h"
#include "process_setup.h"

#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace sundrel;
using namespace sundrel::testing;

namespace {


QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A 45 s song of band-limited noise (mono, 192 kbit/s, 6 dB below full
// scale), loaded into a window whose player is a fake; the song's sound
// peaks at half of full scale, so +3 dB is allowed.
struct WithSong {
    WithSong()
    {
        source = dir.filePath(QStringLiteral("song.mp3"));
        made = test::MakeQuietLoudMp3(source.toStdString(), 45, {"-b", "192"}, 7, 0.5);
        fake.desktop.openAnswers << source;
        frm.cmdBrowseS_Click();
        fake.players[0]->length = 45;
        fake.players[0]->peak = 0.5;
    }
    void cut(double start, double end)
    {
        fake.players[0]->position = start;
        frm.cmdQ_Click();
        fake.players[0]->position = end;
        frm.Command1_Click();
    }
    void saveAs(const QString& name)
    {
        fake.desktop.saveAnswers << name;
        frm.Command5_Click();
    }
    QString kept() const { return dir.filePath(QStringLiteral("[铃声]1song.mp3")); }
    QStringList files(const QString& folder) const
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    QStringList said()
    {
        QStringList all{frm.findChild<QLabel*>(QStringLiteral("lb"))->text()};
        for (const FakeDesktop::Message& m : fake.desktop.messages)
            all << m.text;
        return all;
    }

    QTemporaryDir dir;
    QString source;
    bool made = false;
    FakeServices fake;
    Frm frm{fake.services};
};

}  // namespace

class SaveM4rTest : public QObject {
    Q_OBJECT

private slots:
    // A 10 s ringtone fading in over 1 s, 3 dB louder: the M4R is an AAC
    // file of iTunes's brand whose sound is the MP3 ringtone's, fade and
    // volume included, from its first sample; the MP3 stays the window's.
    void theRingtoneSavedAsM4rSoundsAsTheMp3Does()
    {
        WithSong s;
        QVERIFY(s.made);
        s.cut(12, 22);
        s.frm.MDplay_FadeSet(PlayerFade::In, 1.0);
        s.frm.MDplay_VolumeStepped(2);
        QCOMPARE(s.frm.keptGain().VolumeSteps, 2);
        const QByteArray mp3 = ReadAll(s.kept());
        const QString m4r = s.dir.filePath(QStringLiteral("ring.m4r"));
        s.saveAs(m4r);

        QCOMPARE(s.files(s.dir.path()), QStringList({"[铃声]1song.mp3", "ring.m4r", "song.mp3"}));
        QCOMPARE(ReadAll(s.kept()), mp3);
        auto* status = s.frm.findChild<QLabel*>(QStringLiteral("lb"));
        QCOMPARE(s.said(), QStringList({"已另存，重新编码"}));
        QCOMPARE(status->toolTip(), QStringLiteral("已另存为苹果手机铃声（重新编码）：") + m4r);
        const QRect needed =
            QFontMetrics(status->font()).boundingRect(QRect(0, 0, status->width(), 1000), Qt::TextWordWrap, s.said()[0]);
        QVERIFY(needed.width() <= status->width() && needed.height() <= status->height());

        const QString probe = QString::fromStdString(test::ProbeWithFfprobe(m4r.toStdString()));
        for (const char* line : {"major_brand=M4A ", "codec_name=aac", "profile=LC", "channels=1", "title=song",
                                 "iTunSMPB= 00000000 00000400 "})
            QVERIFY2(probe.contains(QLatin1String(line)), qPrintable(probe));
        const test::M4rAgainstMp3 compared = test::CompareM4rWithMp3(m4r.toStdString(), s.kept().toStdString());
        qInfo("M4R against the MP3 ringtone: %zu samples against %zu, middle SNR %.1f dB, worst level %.2f dB",
              compared.m4rSamples, compared.mp3Samples, compared.middleSnrDb, compared.worstLevelDb);
        QCOMPARE(compared.mp3Samples, std::size_t(10 * test::kSampleRate));
        QVERIFY(compared.m4rSamples >= compared.mp3Samples && compared.m4rSamples < compared.mp3Samples + 1024);
        QVERIFY(compared.middleSnrDb > 30);
        QVERIFY(compared.worstLevelDb < 1);

        // The window still follows the MP3: a second save as moves it.
        s.saveAs(s.dir.filePath(QStringLiteral("ring")));
        QCOMPARE(s.files(s.dir.path()), QStringList({"ring.m4r", "ring.mp3", "song.mp3"}));
    }

    // Each refusal says why and leaves no file, not even a hidden one; the
    // MP3 ringtone is untouched. Made in a child process: an ordinary user
    // there (root writes into any folder), or a file size limit.
    void refusedM4rLeavesNothing_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("why");
        QTest::newRow("over 40 s") << 40.5 << "ring.m4r" << "另存为失败：苹果手机的铃声最长40秒！";
        QTest::newRow("no such folder") << 10.0 << "gone/ring.m4r" << "另存为失败：文件夹不存在！";
        QTest::newRow("read-only folder") << 10.0 << "locked/ring.m4r" << "另存为失败：不能写入此文件夹！";
        QTest::newRow("file size limit") << 10.0 << "limited/ring.m4r" << "另存为失败：磁盘已满！";
    }
    void refusedM4rLeavesNothing()
    {
        QFETCH(double, seconds);
        QFETCH(QString, name);
        QFETCH(QString, why);
        WithSong s;
        QVERIFY(s.made);
        s.cut(1, 1 + seconds);
        const QByteArray mp3 = ReadAll(s.kept());
        QVERIFY(!mp3.isEmpty());
        const QString folder = s.dir.filePath(name.section(QLatin1Char('/'), 0, 0));
        if (name.contains(QLatin1String("locked")) || name.contains(QLatin1String("limited")))
            QVERIFY(QDir().mkdir(folder));
        if (name.contains(QLatin1String("locked"))) {
            QVERIFY(chmod(QFile::encodeName(folder).constData(), 0555) == 0);
            if (geteuid() == 0)
                for (const QString& path : {s.dir.path(), s.kept()})
                    QVERIFY(chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0);
        }
        const Child child = RunInChild([&] {
            PrepareProcess();
            if (name.contains(QLatin1String("locked")) && geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
                _exit(4);
            const rlimit limit{50'000, 50'000};
            if (name.contains(QLatin1String("limited")))
                setrlimit(RLIMIT_FSIZE, &limit);
            s.saveAs(s.dir.filePath(name));
            return s.said();
        });
        QVERIFY2(WIFEXITED(child.status) && WEXITSTATUS(child.status) == 0, "the save did not end normally");
        QCOMPARE(child.said.last(), why);
        QCOMPARE(s.files(s.dir.path()), QStringList({"[铃声]1song.mp3", "song.mp3"}));
        if (QFileInfo(folder).isDir())
            QCOMPARE(s.files(folder), QStringList());
        QCOMPARE(ReadAll(s.kept()), mp3);
    }
};

QTEST_MAIN(SaveM4rTest)
#include "save_m4r_test.moc"
