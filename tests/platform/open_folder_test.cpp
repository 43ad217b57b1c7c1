// SPDX-License-Identifier: GPL-3.0-or-later
// SystemDesktop::openFolder with a stand-in for xdg-open, found first on
// PATH, that writes down what it was given: the file manager itself cannot
// run here.

#include "desktop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class OpenFolderTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(bin_.isValid());
        QFile fake(bin_.filePath(QStringLiteral("xdg-open")));
        QVERIFY(fake.open(QIODevice::WriteOnly));
        // One line with the number of arguments, then each argument.
        fake.write(
            "#!/bin/sh\n"
            "{ echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; } > \"$SUNDREL_FAKE_RECORD.tmp\"\n"
            "mv \"$SUNDREL_FAKE_RECORD.tmp\" \"$SUNDREL_FAKE_RECORD\"\n");
        fake.close();
        QVERIFY(fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("PATH", bin_.path().toLocal8Bit() + ':' + qgetenv("PATH"));
    }

    void init()
    {
        record_ = bin_.filePath(QStringLiteral("record-%1").arg(++runs_));
        qputenv("SUNDREL_FAKE_RECORD", record_.toLocal8Bit());
    }

    void folderIsOneArgument_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << QStringLiteral("/home/u/music");
        QTest::newRow("blanks and quotes") << QStringLiteral("/tmp/my \"ring\" tones; ls");
        QTest::newRow("chinese") << QStringLiteral("/home/u/音乐 文件/");
    }
    void folderIsOneArgument()
    {
        QFETCH(QString, folder);
        sundrel::SystemDesktop().openFolder(folder);
        QCOMPARE(recorded(), (QStringList{QStringLiteral("1"), folder}));
    }

    void emptyFolderOpensHome()
    {
        sundrel::SystemDesktop().openFolder(QString());
        QCOMPARE(recorded(), (QStringList{QStringLiteral("1"), QDir::homePath()}));
    }

private:
    // The program runs detached; its record appears whole when it is done.
    QStringList recorded()
    {
        if (!QTest::qWaitFor([this] { return QFile::exists(record_); }, 10000)) {
            return {QStringLiteral("<not started>")};
        }
        QFile file(record_);
        if (!file.open(QIODevice::ReadOnly)) {
            return {QStringLiteral("<unreadable>")};
        }
        return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir bin_;
    QString record_;
    int runs_ = 0;
};

QTEST_MAIN(OpenFolderTest)
#include "open_folder_test.moc"
