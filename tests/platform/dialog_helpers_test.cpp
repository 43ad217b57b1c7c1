// SPDX-License-Identifier: GPL-3.0-or-later
// The pure parts of the file dialogs and the folder chooser, the save
// dialog's name completion on Qt's real dialog (accepted by hand, never
// shown modally), and how a file's name crosses into Qt and back.

#include "browser_folder.h"
#include "dialog_text.h"
#include "engine_path.h"
#include "save_dialog.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using sundrel::Mp3SaveDialog;
using sundrel::QtNameFilter;
using sundrel::WithRingtoneExtension;

class DialogHelpersTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // QFileDialog remembers its last folder in Qt's settings; keep the
        // test's out of the user's.
        QStandardPaths::setTestModeEnabled(true);
    }

    void filterConversion_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("expected");
        QTest::newRow("description and pattern")
            << QStringLiteral("MP3音频文件|*.mp3") << QStringLiteral("MP3音频文件 (*.mp3)");
        QTest::newRow("bare pattern") << QStringLiteral("*.mp3") << QStringLiteral("*.mp3");
        QTest::newRow("two pairs") << QStringLiteral("MP3音频文件|*.mp3|所有文件|*.*")
                                   << QStringLiteral("MP3音频文件 (*.mp3);;所有文件 (*.*)");
        QTest::newRow("several patterns") << QStringLiteral("音频|*.mp3;*.wav") << QStringLiteral("音频 (*.mp3 *.wav)");
        QTest::newRow("empty description") << QStringLiteral("|*.mp3") << QStringLiteral("*.mp3");
        QTest::newRow("pair and trailing pattern")
            << QStringLiteral("MP3|*.mp3|*.wav") << QStringLiteral("MP3 (*.mp3);;*.wav");
        QTest::newRow("pair without pattern") << QStringLiteral("MP3|") << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void filterConversion()
    {
        QFETCH(QString, filter);
        QFETCH(QString, expected);
        QCOMPARE(QtNameFilter(filter), expected);
    }

    void ringtoneExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extension");  // the one the chosen filter adds
        QTest::addColumn<QString>("expected");
        const QString mp3 = QStringLiteral(".mp3"), m4r = QStringLiteral(".m4r");
        QTest::newRow("plain") << QStringLiteral("/music/ring") << mp3 << QStringLiteral("/music/ring.mp3");
        QTest::newRow("has it") << QStringLiteral("/music/ring.mp3") << mp3 << QStringLiteral("/music/ring.mp3");
        QTest::newRow("upper case") << QStringLiteral("ring.MP3") << mp3 << QStringLiteral("ring.MP3");
        QTest::newRow("mixed case") << QStringLiteral("ring.Mp3") << mp3 << QStringLiteral("ring.Mp3");
        QTest::newRow("other dot") << QStringLiteral("ring.v2") << mp3 << QStringLiteral("ring.v2.mp3");
        QTest::newRow("other extension") << QStringLiteral("ring.wav") << mp3 << QStringLiteral("ring.wav.mp3");
        QTest::newRow("mp3 inside") << QStringLiteral("ring.mp3.bak") << mp3 << QStringLiteral("ring.mp3.bak.mp3");
        QTest::newRow("chinese") << QStringLiteral("铃声") << mp3 << QStringLiteral("铃声.mp3");
        QTest::newRow("empty") << QString() << mp3 << QString();
        QTest::newRow("folder") << QStringLiteral("/music/") << mp3 << QStringLiteral("/music/");
        // An iPhone's ringtone: typed so under either filter, or the filter chosen.
        QTest::newRow("m4r typed") << QStringLiteral("ring.M4R") << mp3 << QStringLiteral("ring.M4R");
        QTest::newRow("m4r filter") << QStringLiteral("ring") << m4r << QStringLiteral("ring.m4r");
        QTest::newRow("mp3 typed, m4r filter") << QStringLiteral("ring.mp3") << m4r << QStringLiteral("ring.mp3");
    }
    void ringtoneExtension()
    {
        QFETCH(QString, name);
        QFETCH(QString, extension);
        QFETCH(QString, expected);
        QCOMPARE(WithRingtoneExtension(name, extension), expected);
    }

    void chineseLabels()
    {
        QFileDialog files;
        sundrel::UseChineseLabels(files, QStringLiteral("保存"));
        QCOMPARE(files.labelText(QFileDialog::Accept), QStringLiteral("保存"));
        QCOMPARE(files.labelText(QFileDialog::Reject), QStringLiteral("取消"));
        QCOMPARE(files.labelText(QFileDialog::FileName), QStringLiteral("文件名："));
        QCOMPARE(files.labelText(QFileDialog::FileType), QStringLiteral("文件类型："));
        QCOMPARE(files.labelText(QFileDialog::LookIn), QStringLiteral("查找范围："));

        QFileDialog folders;
        folders.setFileMode(QFileDialog::Directory);
        sundrel::UseChineseLabels(folders, QStringLiteral("选择"));
        QCOMPARE(folders.labelText(QFileDialog::FileName), QStringLiteral("目录："));
    }

    void saveDialogCompletesTheName_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("iphone");  // the iPhone filter chosen
        QTest::addColumn<QString>("saved");
        QTest::newRow("plain") << QStringLiteral("ring") << false << QStringLiteral("ring.mp3");
        QTest::newRow("other dot") << QStringLiteral("ring.v2") << false << QStringLiteral("ring.v2.mp3");
        QTest::newRow("upper case") << QStringLiteral("ring.MP3") << false << QStringLiteral("ring.MP3");
        QTest::newRow("chinese") << QStringLiteral("铃声 一") << false << QStringLiteral("铃声 一.mp3");
        QTest::newRow("iphone filter") << QStringLiteral("ring") << true << QStringLiteral("ring.m4r");
        QTest::newRow("m4r typed") << QStringLiteral("ring.m4r") << false << QStringLiteral("ring.m4r");
    }
    void saveDialogCompletesTheName()
    {
        QFETCH(QString, typed);
        QFETCH(bool, iphone);
        QFETCH(QString, saved);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        Mp3SaveDialog dialog;
        dialog.setDirectory(dir.path());
        dialog.setNameFilter(QtNameFilter(QStringLiteral("MP3音频文件|*.mp3|苹果手机铃声|*.m4r")));
        if (iphone)
            dialog.selectNameFilter(QStringLiteral("苹果手机铃声 (*.m4r)"));
        auto* nameBox = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(nameBox != nullptr);
        nameBox->setText(typed);

        dialog.accept();

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.selectedFiles().value(0), dir.filePath(saved));
    }

    void saveDialogEntersAFolderInsteadOfNamingIt()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        Mp3SaveDialog dialog;
        dialog.setDirectory(dir.path());
        auto* nameBox = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(nameBox != nullptr);
        nameBox->setText(QStringLiteral("sub"));

        dialog.accept();

        QVERIFY(dialog.result() != QDialog::Accepted);
        QCOMPARE(dialog.directory().absolutePath(), dir.filePath(QStringLiteral("sub")));
    }

    void folderPathCleanUp_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no slash") << QStringLiteral("/home/u/music") << QStringLiteral("/home/u/music");
        QTest::newRow("trailing slash") << QStringLiteral("/home/u/music/") << QStringLiteral("/home/u/music");
        QTest::newRow("root") << QStringLiteral("/") << QStringLiteral("/");
        QTest::newRow("doubled") << QStringLiteral("//home//u//") << QStringLiteral("/home/u");
        QTest::newRow("steps") << QStringLiteral("/home/u/./x/..") << QStringLiteral("/home/u");
        QTest::newRow("chinese") << QStringLiteral("/home/u/音乐 文件/") << QStringLiteral("/home/u/音乐 文件");
        QTest::newRow("empty") << QString() << QString();
    }
    void folderPathCleanUp()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(BrowserFolder::TrimFolderPath(path), expected);
    }

    // A name's bytes come back whole through Qt, a URL included, whether
    // UTF-8 or not; UTF-8 reads as Qt reads it, and what is shown is text
    // any reader takes (no lone surrogate).
    void aNameCrossesQtByteForByte_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("ASCII, with % and #") << QByteArray("/m/a 100%#.mp3");
        QTest::newRow("Chinese in UTF-8") << QByteArray("/m/\xE6\xAD\x8C.mp3");
        QTest::newRow("an emoji, four bytes") << QByteArray("/m/\xF0\x9F\x8E\xB5.mp3");
        QTest::newRow("Latin-1") << QByteArray("/m/caf\xE9.mp3");
        QTest::newRow("GBK") << QByteArray("/\xD2\xF4\xC0\xD6/\xB8\xE8.mp3");
        QTest::newRow("a sequence cut short") << QByteArray("/m/\xE6\xAD.mp3");
        QTest::newRow("an encoded surrogate") << QByteArray("/m/\xED\xB2\x80.mp3");
        QTest::newRow("an overlong slash") << QByteArray("/m/\xC0\xAF.mp3");
    }

    void aNameCrossesQtByteForByte()
    {
        QFETCH(QByteArray, name);
        const std::filesystem::path bytes(name.toStdString());
        const QString path = sundrel::QtPath(bytes);
        QCOMPARE(sundrel::EnginePath(path), bytes);
        QCOMPARE(sundrel::EnginePath(sundrel::LocalPath(sundrel::FileUrl(path))), bytes);
        const bool utf8 = QString::fromUtf8(name).toUtf8() == name;
        QCOMPARE(sundrel::HasForeignBytes(path), !utf8);
        if (utf8)
            QCOMPARE(path, QFile::decodeName(name));
        const QString shown = sundrel::ShownPath(path);
        QCOMPARE(QString::fromUtf8(shown.toUtf8()), shown);
    }
};

QTEST_MAIN(DialogHelpersTest)
#include "dialog_helpers_test.moc"
