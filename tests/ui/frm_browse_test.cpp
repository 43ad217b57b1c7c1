// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing the source and the destination, and opening the folder.

#include "fakes.h"
#include "frm.h"
#include "process_setup.h"

#include <QDir>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <fstream>
#include <string>

using namespace sundrel;
using namespace sundrel::testing;

namespace {

QString MakeFile(const QTemporaryDir& dir, const QString& name, std::size_t bytes)
{
    const QString path = dir.filePath(name);
    std::ofstream(path.toStdString(), std::ios::binary) << std::string(bytes, 'x');
    return path;
}

template <typename T>
T* Child(const Frm& frm, const char* name)
{
    return frm.findChild<T*>(QString::fromUtf8(name));
}

}  // namespace

class FrmBrowseTest : public QObject {
    Q_OBJECT

private slots:
    void confirmingASourceFillsTheWindow()
    {
        QTemporaryDir dir;
        const QString song = MakeFile(dir, QStringLiteral("歌 曲.mp3"), 1536);
        FakeServices fake;
        Frm frm(fake.services);
        QCOMPARE(fake.desktop.openFilter, QString());
        fake.desktop.openAnswers << song;
        frm.cmdBrowseS_Click();

        QCOMPARE(fake.desktop.openFilter, QStringLiteral("MP3音频文件|*.mp3"));
        QCOMPARE(Child<QLineEdit>(frm, "txtSource")->text(), song);
        QCOMPARE(Child<QLineEdit>(frm, "txtDestdir")->text(), dir.path() + QLatin1Char('/'));
        QCOMPARE(frm.cutState().SourceLen, 1536);
        QCOMPARE(Child<QGroupBox>(frm, "Frame1")->title(), QStringLiteral("源分割文件大小（1.5 KB）"));
        QCOMPARE(fake.players[0]->URL(), song);
        QCOMPARE(Child<QLabel>(frm, "lbz")->text(), QStringLiteral(" 0秒"));
    }

    void aFilledDestinationIsKeptAndTheSizeReplaced()
    {
        QTemporaryDir dir;
        const QString first = MakeFile(dir, QStringLiteral("a.mp3"), 1234567);
        const QString second = MakeFile(dir, QStringLiteral("b.mp3"), 2048);
        FakeServices fake;
        Frm frm(fake.services);
        auto* dest = Child<QLineEdit>(frm, "txtDestdir");
        auto* frame = Child<QGroupBox>(frm, "Frame1");
        fake.desktop.folderAnswers << QStringLiteral("/srv/rings");
        frm.cmdBrowseD_Click();
        QCOMPARE(dest->text(), QStringLiteral("/srv/rings/"));

        fake.desktop.openAnswers << first << second;
        frm.cmdBrowseS_Click();
        QCOMPARE(dest->text(), QStringLiteral("/srv/rings/"));
        QCOMPARE(frame->title(), QStringLiteral("源分割文件大小（1205.6 KB）"));
        frm.cmdBrowseS_Click();
        // Whole KB keep their decimal separator; the earlier size is replaced.
        QCOMPARE(frame->title(), QStringLiteral("源分割文件大小（2. KB）"));
    }

    void reconfirmingClearsTheTimesAndRestartsPlayback()
    {
        QTemporaryDir dir;
        const QString song = MakeFile(dir, QStringLiteral("a.mp3"), 4096);
        FakeServices fake;
        Frm frm(fake.services);
        FakePlayer* player = fake.players[0];
        player->length = 100;
        fake.desktop.openAnswers << song << song;
        frm.cmdBrowseS_Click();
        player->position = 10;
        frm.cmdQ_Click();
        QCOMPARE(Child<QLabel>(frm, "lbk")->text(), QStringLiteral(" 10秒"));
        frm.cmdBrowseS_Click();
        QCOMPARE(Child<QLabel>(frm, "lbk")->text(), QString());
        QCOMPARE(Child<QLabel>(frm, "lbj")->text(), QString());
        QCOMPARE(player->loads, 2);
        QCOMPARE(player->position, 0.0);
    }

    void cancelBeforeAnyChoiceEmptiesThePlayer()
    {
        FakeServices fake;
        Frm frm(fake.services);
        FakePlayer* player = fake.players[0];
        player->url = QStringLiteral("/left/over.mp3");
        frm.cmdBrowseS_Click();  // cancelled
        QCOMPARE(player->URL(), QString());
        QCOMPARE(Child<QLineEdit>(frm, "txtSource")->text(), QString());
        QCOMPARE(Child<QLineEdit>(frm, "txtDestdir")->text(), QString());
        QCOMPARE(Child<QGroupBox>(frm, "Frame1")->title(), QStringLiteral("源分割文件大小"));
        QCOMPARE(Child<QLabel>(frm, "lbz")->text(), QStringLiteral(" 0秒"));
    }

    void cancelAfterAChoiceReloadsTheConfirmedFile()
    {
        QTemporaryDir dir;
        const QString song = MakeFile(dir, QStringLiteral("a.mp3"), 3072);
        FakeServices fake;
        Frm frm(fake.services);
        fake.desktop.openAnswers << song;
        frm.cmdBrowseS_Click();
        Child<QLineEdit>(frm, "txtDestdir")->clear();
        MakeFile(dir, QStringLiteral("a.mp3"), 1024);  // the file changed meanwhile
        frm.cmdBrowseS_Click();                        // cancelled
        QCOMPARE(fake.players[0]->loads, 2);
        QCOMPARE(fake.players[0]->URL(), song);
        QCOMPARE(Child<QLineEdit>(frm, "txtDestdir")->text(), dir.path() + QLatin1Char('/'));
        QCOMPARE(frm.cutState().SourceLen, 1024);
    }

    void cancelledFolderChoiceLeavesTheBoxAsItWas()
    {
        FakeServices fake;
        Frm frm(fake.services);
        auto* dest = Child<QLineEdit>(frm, "txtDestdir");
        fake.desktop.folderAnswers << QStringLiteral("/") << QString();
        frm.cmdBrowseD_Click();
        QCOMPARE(dest->text(), QStringLiteral("/"));
        frm.cmdBrowseD_Click();
        QCOMPARE(dest->text(), QStringLiteral("/"));
    }

    void dialogsOpenWhereTheUserIs()
    {
        // A home of the test's own: the music folder first does not exist.
        QTemporaryDir home;
        qputenv("HOME", home.path().toUtf8());
        qunsetenv("XDG_CONFIG_HOME");
        FakeServices fake;
        Frm frm(fake.services);
        frm.cmdBrowseS_Click();  // cancelled
        QCOMPARE(fake.desktop.openStart, home.path());
        QVERIFY(QDir(home.path()).mkdir(QStringLiteral("Music")));
        frm.cmdBrowseS_Click();
        QCOMPARE(fake.desktop.openStart, home.filePath(QStringLiteral("Music")));

        // Then where the last song was chosen, wherever the folder chooser
        // or the save dialog have been since.
        QTemporaryDir songs;
        QVERIFY(QDir(songs.path()).mkdir(QStringLiteral("专辑")));
        fake.desktop.openAnswers << MakeFile(songs, QStringLiteral("专辑/a.mp3"), 100);
        frm.cmdBrowseS_Click();
        fake.desktop.folderAnswers << QStringLiteral("/");
        frm.cmdBrowseD_Click();
        frm.Command5_Click();  // cancelled
        frm.cmdBrowseS_Click();
        QCOMPARE(fake.desktop.openStart, songs.filePath(QStringLiteral("专辑")));
        // The folder chooser starts at the top of the file system, as ever:
        // it is not asked for a folder at all.
    }

    void openFolderHandsTheBoxToTheFileManagerAsItStands()
    {
        FakeServices fake;
        Frm frm(fake.services);
        frm.cmdO_Click();
        fake.desktop.folderAnswers << QStringLiteral("/home/用户/my \"rings\"");
        frm.cmdBrowseD_Click();
        frm.cmdO_Click();
        QCOMPARE(fake.desktop.openedFolders, QStringList({QString(), QStringLiteral("/home/用户/my \"rings\"/")}));
    }

    // A drop on the window: one local file is chosen as 浏览 chooses it;
    // anything else is refused with its reason and nothing changes.
    void aDroppedSongIsChosenAndAnythingElseRefused_data()
    {
        QTest::addColumn<QStringList>("dropped");  // "song", "dir", or a URL
        QTest::addColumn<QString>("refusal");      // "" for none
        QTest::newRow("one song") << QStringList{"song"} << QString();
        QTest::newRow("two songs") << QStringList{"song", "song"} << QStringLiteral("一次只能打开一个MP3文件！");
        QTest::newRow("a folder") << QStringList{"dir"} << QStringLiteral("这是一个文件夹，请选择MP3文件！");
        QTest::newRow("a web address") << QStringList{"https://example.com/a.mp3"}
                                       << QStringLiteral("只能打开本机上的MP3文件！");
    }

    void aDroppedSongIsChosenAndAnythingElseRefused()
    {
        QFETCH(QStringList, dropped);
        QFETCH(QString, refusal);
        QTemporaryDir dir;
        const QString song = MakeFile(dir, QStringLiteral("歌 #1%20.mp3"), 2048);
        FakeServices fake;
        Frm frm(fake.services);
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& item : dropped)
            urls << (item == "song"  ? QUrl::fromLocalFile(song)
                     : item == "dir" ? QUrl::fromLocalFile(dir.path())
                                     : QUrl(item));
        data.setUrls(urls);
        // As a drag over the window ends: entering it, then the drop.
        QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&frm, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&frm, &drop);
        QVERIFY(drop.isAccepted());
        QTRY_VERIFY(!fake.desktop.messages.isEmpty() || fake.players[0]->loads > 0);

        QCOMPARE(Child<QLineEdit>(frm, "txtSource")->text(), refusal.isEmpty() ? song : QString());
        QCOMPARE(fake.players[0]->URL(), refusal.isEmpty() ? song : QString());
        QCOMPARE(fake.desktop.messages.size(), refusal.isEmpty() ? 0 : 1);
        if (!refusal.isEmpty())
            QCOMPARE(fake.desktop.messages[0].text, refusal);
    }

    void theCommandLineNamesPathsAndUrls()
    {
        const QString here = QDir::currentPath();
        const QList<QUrl> given =
            GivenOnCommandLine({"a b%20#.mp3", "/tmp/x.mp3", "file:///tmp/%E6%AD%8C.mp3", "http://example.com/x.mp3"});
        QCOMPARE(given.size(), 4);
        QCOMPARE(given[0].toLocalFile(), here + QStringLiteral("/a b%20#.mp3"));
        QCOMPARE(given[1].toLocalFile(), QStringLiteral("/tmp/x.mp3"));
        QCOMPARE(given[2].toLocalFile(), QStringLiteral("/tmp/歌.mp3"));
        QVERIFY(!given[3].isLocalFile());

        // "--" ends the options: what follows is a file, whatever its first
        // sign; file://localhost/ is this machine.
        const QList<QUrl> dashed = GivenOnCommandLine({"--", "-x.mp3", "file://localhost/tmp/y.mp3"});
        QCOMPARE(dashed.size(), 2);
        QCOMPARE(dashed[0].toLocalFile(), here + QStringLiteral("/-x.mp3"));
        QCOMPARE(dashed[1].toLocalFile(), QStringLiteral("/tmp/y.mp3"));
    }

    // What the command line names, taken up: a file on another machine is
    // said as such, not as missing.
    void givenFilesAreSaidForWhatTheyAre_data()
    {
        QTest::addColumn<QString>("given");  // "localhost" or "elsewhere"
        QTest::addColumn<QString>("said");   // "" for the song taken up
        QTest::newRow("file://localhost/") << "localhost" << QString();
        QTest::newRow("another machine") << "elsewhere" << QStringLiteral("只能打开本机上的MP3文件！");
    }

    void givenFilesAreSaidForWhatTheyAre()
    {
        QFETCH(QString, given);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString song = MakeFile(dir, QStringLiteral("a.mp3"), 2048);
        QByteArray argument = "file://" + given.toLatin1() + QFile::encodeName(song);
        char* argv[] = {const_cast<char*>("sundrel"), argument.data(), nullptr};
        FakeServices fake;
        Frm frm(fake.services);
        frm.takeUpGiven(GivenOnCommandLine(UserArguments(2, argv)));
        QCOMPARE(fake.desktop.messages.isEmpty() ? QString() : fake.desktop.messages[0].text, said);
        QCOMPARE(fake.players[0]->URL(), said.isEmpty() ? song : QString());
    }
};

QTEST_MAIN(FrmBrowseTest)
#include "frm_browse_test.moc"
