// SPDX-License-Identifier: GPL-3.0-or-later
// The preview, About and help windows, opened from the main window.

#include "design_check.h"
#include "fakes.h"
#include "frm.h"
#include "mp3_fixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <string>

using namespace sundrel;
using namespace sundrel::testing;

namespace {

QWidget* TopLevel(const char* objectName)
{
    QWidget* found = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(objectName) && w->isVisible()) {
            if (found)
                return nullptr;  // more than one
            found = w;
        }
    return found;
}

// A main window that has made a real cut of a 10,000,000-byte song.
struct AfterCut {
    AfterCut()
    {
        source = dir.filePath(QStringLiteral("song.mp3"));
        std::ofstream(source.toStdString(), std::ios::binary) << sundrel::test::FramedBytes(10'000'000);
        fake.desktop.openAnswers << source;
        frm.cmdBrowseS_Click();
        fake.players[0]->length = 100;
        fake.players[0]->position = 10;
        frm.cmdQ_Click();
        fake.players[0]->position = 12;
        frm.Command1_Click();
    }
    QString kept() const { return dir.filePath(QStringLiteral("[铃声]1song.mp3")); }
    FakePlayer* previewPlayer() const { return fake.players.size() > 1 ? fake.players.last().data() : nullptr; }

    QTemporaryDir dir;
    QString source;
    FakeServices fake;
    Frm frm{fake.services};
};

}  // namespace

class WindowsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->testAttribute(Qt::WA_DeleteOnClose))
                w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void previewWindowAsDesigned()
    {
        AfterCut s;
        s.frm.Command2_Click();
        s.frm.Command2_Click();
        QWidget* st = TopLevel("FrmST");
        QVERIFY(st);
        QCOMPARE(st->windowTitle(), QStringLiteral("Sundrel--试听"));
        QCOMPARE(st->size(), QSize(Px(4710), Px(3750)));
        CheckFixedWithCloseOnly(st);
        const DesignRow rows[] = {{"MDst", nullptr, 0, 0, 4680, 3195},
                                  {"Command1", "满意！关闭", 0, 3240, 1575, 495},
                                  {"Command2", "不满意，删除！", 1560, 3240, 1455, 495},
                                  {"Command3", "打开所在文件夹", 3000, 3240, 1695, 495}};
        CheckDesign(st, rows);
        for (auto* b : st->findChildren<QPushButton*>())
            QVERIFY(!b->isDefault() && !b->text().contains(QLatin1Char('&')));
        auto* c1 = st->findChild<QWidget*>(QStringLiteral("Command1"));
        QCOMPARE(c1->nextInFocusChain()->objectName(), QStringLiteral("Command2"));
        QCOMPARE(c1->nextInFocusChain()->nextInFocusChain()->objectName(), QStringLiteral("Command3"));

        // The second press reused the window and restarted the file.
        QCOMPARE(s.fake.players.size(), 2);
        QCOMPARE(s.previewPlayer()->volume, 77);
        QCOMPARE(s.previewPlayer()->loads, 2);
        QCOMPARE(s.previewPlayer()->URL(), s.kept());
        QCOMPARE(QString::fromStdString(s.fake.shared.PreviewPath), s.kept());
    }

    void aboutAndHelpAsDesigned()
    {
        FakeServices fake;
        Frm frm(fake.services);
        frm.Command3_Click();
        frm.Command3_Click();
        frm.Command4_Click();
        frm.Command4_Click();
        QWidget* about = TopLevel("FrmA");
        QWidget* help = TopLevel("FrmO");
        QVERIFY(about && help);

        QCOMPARE(about->windowTitle(), QStringLiteral("关于Sundrel"));
        QCOMPARE(about->size(), QSize(Px(5610), Px(2025)));
        CheckFixedWithCloseOnly(about);
        QCOMPARE(about->windowType(), Qt::Tool);  // kept out of the taskbar
        const DesignRow aboutRows[] = {
            {"Label4", "Sundrel--关于我们", 1680, 120, 1815, 255},
            {"Label2",
             "    Sundrel2.35更直观的剪切MP3文件，操作会是最简单的，让你简简单单得到MP3中任意一段你想要的部分。", 240,
             480, 5055, 615},
            {"Label3", nullptr, 240, 960, 4935, 255},
            {"Command2", "确定(Q)", 1440, 1320, 2535, 495},
            {"Label1", nullptr, 4680, 1800, 975, 255}};
        CheckDesign(about, aboutRows);
        auto* contact = about->findChild<QLabel*>(QStringLiteral("Label3"));
        QVERIFY(contact->text().startsWith(QStringLiteral("如果有什么问题，请联系我们Email：")));
        QVERIFY(contact->text().endsWith(QStringLiteral("@example.com")));
        QVERIFY(!about->findChild<QLabel*>(QStringLiteral("Label1"))->text().isEmpty());

        QCOMPARE(help->windowTitle(), QStringLiteral("Sundrel--如何剪切其他格式"));
        QCOMPARE(help->size(), QSize(Px(5970), Px(2625)));
        CheckFixedWithCloseOnly(help);
        QCOMPARE(help->windowType(), Qt::Window);
        const DesignRow helpRows[] = {{"Label1", nullptr, 120, 240, 5775, 1575},
                                      {"Command1", "关闭(&C)", 1680, 1920, 2175, 495}};
        CheckDesign(help, helpRows);
        auto* text = help->findChild<QLabel*>(QStringLiteral("Label1"));
        const QStringList lines = text->text().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 4);  // three lines, each ended by a break
        QCOMPARE(lines[0], QStringLiteral("Sundrel--------剪切其他格式。"));
        QVERIFY(lines[1].contains(QStringLiteral("非常简单:用千千静听转换（推荐）。")));
        QVERIFY(lines[2].endsWith(QStringLiteral("然后点击开始转换就可以了。")));
        QCOMPARE(lines[3], QString());
        QCOMPARE(text->font().families().value(0), QStringLiteral("宋体"));
        QCOMPARE(text->font().pointSizeF(), 10.5);
        QVERIFY(!text->font().bold());
    }

    // The help text's six lines, read off a picture of it: each clear of
    // the next by a row without ink, the last inside the label.
    void helpLinesDoNotRunIntoEachOther()
    {
        FakeServices fake;
        Frm frm(fake.services);
        frm.Command4_Click();
        auto* text = TopLevel("FrmO")->findChild<QLabel*>(QStringLiteral("Label1"));
        const QImage picture = text->grab().toImage();
        const QRgb ground = picture.pixel(picture.width() - 1, picture.height() - 1);
        const auto inked = [&](int y) {
            for (int x = 0; x < picture.width(); ++x)
                if (qGray(picture.pixel(x, y)) < qGray(ground) - 60)
                    return true;
            return false;
        };
        int bands = 0;
        int lastInk = -2;  // a row above the picture: the first inked row begins a line
        for (int y = 0; y < picture.height(); ++y)
            if (inked(y)) {
                if (lastInk != y - 1)
                    ++bands;
                lastInk = y;
            }
        QCOMPARE(bands, 6);
        QVERIFY(lastInk < picture.height() - 1);
    }

    void buttonsCloseTheirWindows()
    {
        FakeServices fake;
        Frm frm(fake.services);
        frm.Command3_Click();
        frm.Command4_Click();
        QTest::mouseClick(TopLevel("FrmA")->findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
        QWidget* help = TopLevel("FrmO");
        help->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(help));
        QTest::keyClick(help->windowHandle(), Qt::Key_C, Qt::AltModifier);
        QVERIFY(!TopLevel("FrmA"));
        QTRY_VERIFY(!TopLevel("FrmO"));  // an access key presses its button with a short animation
        frm.Command3_Click();            // a fresh one after the old was destroyed
        QVERIFY(TopLevel("FrmA"));
    }

    // Esc is the close button of the preview; Ctrl+S is 另存为 in the main
    // window wherever the focus stands among its controls.
    void escClosesThePreviewAndCtrlSSavesAs()
    {
        AfterCut s;
        s.frm.show();
        s.frm.Command2_Click();
        QWidget* st = TopLevel("FrmST");
        QVERIFY(st);
        QTest::keyClick(st, Qt::Key_Escape);
        QVERIFY(!TopLevel("FrmST"));
        QVERIFY(QFile::exists(s.kept()));

        s.frm.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&s.frm));
        auto* start = s.frm.findChild<QPushButton*>(QStringLiteral("cmdQ"));
        start->setFocus();
        const QString saved = s.dir.filePath(QStringLiteral("ring.mp3"));
        s.fake.desktop.saveAnswers << saved;
        // A box one types into (as the player's time entry) keeps the key.
        auto* typing = new QLineEdit(&s.frm);
        typing->show();
        typing->setFocus();
        QTest::keyClick(typing, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(QFile::exists(s.kept()) && s.fake.desktop.saveAnswers.size() == 1);
        delete typing;

        start->setFocus();
        QTest::keyClick(start, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(QFile::exists(saved) && !QFile::exists(s.kept()));
        QCOMPARE(s.frm.findChild<QPushButton*>(QStringLiteral("Command5"))->text(), QStringLiteral("另存为"));
    }

    void previewBeforeAnyCutDeletesNothing()
    {
        QTemporaryDir dir;
        const QString oldCurrent = QDir::currentPath();
        QDir::setCurrent(dir.path());
        std::ofstream("[铃声]1") << "someone else's file";

        FakeServices fake;
        Frm frm(fake.services);
        frm.Command2_Click();
        QCOMPARE(fake.players.last()->URL(), QStringLiteral("[铃声]1"));
        TopLevel("FrmST")->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
        QVERIFY(!TopLevel("FrmST"));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("[铃声]1"))));
        QDir::setCurrent(oldCurrent);
    }

    void deleteAfterACutRemovesTheKeptFile()
    {
        AfterCut s;
        QVERIFY(QFile::exists(s.kept()));
        s.frm.Command2_Click();
        QPointer<FakePlayer> player = s.previewPlayer();
        TopLevel("FrmST")->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
        QVERIFY(!QFile::exists(s.kept()));
        QVERIFY(QFile::exists(s.source));
        QVERIFY(!TopLevel("FrmST"));
    }

    // After save as the window follows the ringtone: the status says so
    // (the path in its tooltip), 试听 and an open preview play it where it
    // went, a second save as moves it again, and the preview's delete
    // deletes it there and nothing else.
    void previewAndSaveAsFollowTheSavedRingtone()
    {
        AfterCut s;
        s.frm.Command2_Click();
        const QString saved = s.dir.filePath(QStringLiteral("ring.mp3"));
        s.fake.desktop.saveAnswers << saved;
        s.frm.Command5_Click();
        QCOMPARE(s.fake.desktop.saveName, QStringLiteral("[铃声]1song.mp3"));
        QVERIFY(QFile::exists(saved) && !QFile::exists(s.kept()));
        auto* status = s.frm.findChild<QLabel*>(QStringLiteral("lb"));
        QCOMPARE(status->text(), QStringLiteral("已另存，请试听"));
        QCOMPARE(status->toolTip(), saved);
        QCOMPARE(s.previewPlayer()->URL(), saved);

        QVERIFY(QDir(s.dir.path()).mkdir(QStringLiteral("rings")));
        const QString again = s.dir.filePath(QStringLiteral("rings/again.mp3"));
        s.fake.desktop.saveAnswers << again;
        s.frm.Command5_Click();
        QCOMPARE(s.fake.desktop.saveName, QStringLiteral("ring.mp3"));
        QCOMPARE(s.fake.desktop.saveStart, s.dir.path() + QLatin1Char('/'));
        QVERIFY(QFile::exists(again) && !QFile::exists(saved));
        s.frm.Command2_Click();
        QCOMPARE(s.previewPlayer()->URL(), again);
        QCOMPARE(s.fake.players.size(), 2);  // the one preview followed it
        TopLevel("FrmST")->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
        QVERIFY(!QFile::exists(again));
        QVERIFY(QFile::exists(s.source));
        QVERIFY(!TopLevel("FrmST"));
        QVERIFY(s.fake.desktop.messages.isEmpty());
    }

    void openFolderReadsTheFolderBoxAsItIsNow()
    {
        AfterCut s;
        auto* dest = s.frm.findChild<QLineEdit*>(QStringLiteral("txtDestdir"));
        s.fake.desktop.folderAnswers << QStringLiteral("/elsewhere");
        s.frm.cmdBrowseD_Click();
        s.frm.Command2_Click();
        TopLevel("FrmST")->findChild<QPushButton*>(QStringLiteral("Command3"))->click();
        dest->clear();
        s.frm.Command2_Click();
        TopLevel("FrmST")->findChild<QPushButton*>(QStringLiteral("Command3"))->click();
        QCOMPARE(s.fake.desktop.openedFolders, QStringList({QStringLiteral("/elsewhere/"), QString()}));
        QVERIFY(!TopLevel("FrmST"));
        QVERIFY(QFile::exists(s.kept()));
    }

    void otherWindowsOutliveTheMainWindow()
    {
        FakeServices fake;
        Frm frm(fake.services);
        frm.show();
        frm.Command3_Click();
        frm.Command4_Click();
        frm.Command2_Click();
        frm.close();
        QVERIFY(TopLevel("FrmA") && TopLevel("FrmO") && TopLevel("FrmST"));
        // Each keeps the program running until it is closed, the About
        // window too, though Qt lets tool windows go with the last other one.
        for (const char* name : {"FrmA", "FrmO", "FrmST"})
            QVERIFY2(TopLevel(name)->testAttribute(Qt::WA_QuitOnClose), name);
        // Its folder box is still read by the preview after it closed.
        TopLevel("FrmST")->findChild<QPushButton*>(QStringLiteral("Command3"))->click();
        QCOMPARE(fake.desktop.openedFolders, QStringList({QString()}));
    }
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The test closes windows on purpose; the run must not end with them.
    QApplication::setQuitOnLastWindowClosed(false);
    WindowsTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "windows_test.moc"
