// SPDX-License-Identifier: GPL-3.0-or-later
// The main window against its design sheet, and its displays.

#include "design_check.h"
#include "fakes.h"
#include "frm.h"
#include "media_player_widget.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <utility>

using namespace sundrel;
using namespace sundrel::testing;

namespace {

// Written from the design, not from the code: a change to either shows here.
const DesignRow kLayout[] = {
    {"Frame2", "", 120, 0, 6495, 1150, "Frm"},
    {"Label1", "请选择MP3文件：", 120, 290, 1455, 255, "Frame2"},
    {"txtSource", "", 1440, 240, 3735, 315, "Frame2"},
    {"cmdBrowseS", "浏览", 5280, 220, 1095, 375, "Frame2"},
    {"Label2", "请选择存放的文件夹：", 120, 840, 1935, 255, "Frame2"},
    {"txtDestdir", "", 1920, 760, 2415, 320, "Frame2"},
    {"cmdBrowseD", "浏览", 4440, 720, 855, 375, "Frame2"},
    {"cmdO", "打开文件夹", 5280, 720, 1095, 375, "Frame2"},
    {"MDplay", nullptr, 120, 1200, 6480, 1395, "Frm"},
    {"cmdQ", "开始(&S)", 120, 2640, 855, 495, "Frm"},
    {"Command1", "结束(&P)", 960, 2640, 975, 495, "Frm"},
    {"Command2", "试听(&T)", 2040, 2640, 855, 495, "Frm"},
    {"Command5", "另存为", 2880, 2640, 855, 495, "Frm"},
    {"lb", "", 3840, 2640, 1095, 495, "Frm"},
    {"Command3", "关于(&A)", 4800, 2640, 855, 495, "Frm"},
    {"Command4", "如何剪切其他格式", 5640, 2640, 975, 495, "Frm"},
    {"lbzdf", "总时间：", 120, 3240, 735, 255, "Frm"},
    {"lbz", "", 960, 3240, 1095, 255, "Frm"},
    {"Label3", "开始时间：", 2280, 3240, 900, 180, "Frm"},
    {"lbk", "", 3360, 3240, 855, 255, "Frm"},
    {"Label5", "结束时间：", 4320, 3240, 975, 375, "Frm"},
    {"lbj", "", 5520, 3240, 855, 255, "Frm"},
    {"Frame1", "源分割文件大小", 120, 3720, 3495, 855, "Frm"},
    {"txtSplit(0)", "0", 360, 360, 855, 375, "Frame1"},
    {"txtSplit(1)", "0", 1320, 360, 855, 375, "Frame1"},
    {"txtSplit(2)", "0", 2280, 360, 855, 375, "Frame1"},
};

}  // namespace

class FrmLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The pixel sizes below assume the usual 96 DPI.
        QCOMPARE(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchY()), 96);
    }

    void controlsStandAsDesigned()
    {
        FakeServices fake;
        Frm frm(fake.services);
        QCOMPARE(frm.windowTitle(), QStringLiteral("SundrelV2.35"));
        QCOMPARE(frm.size(), QSize(447, 234));
        CheckFixedWithCloseOnly(&frm);
        QCOMPARE(frm.windowType(), Qt::Window);  // a tool window would leave the taskbar

        CheckDesign(&frm, kLayout);
        // The size fields lie below the client area, out of view.
        auto* frame1 = frm.findChild<QWidget*>(QStringLiteral("Frame1"));
        QVERIFY(frame1->geometry().top() >= frm.height());
    }

    void focusRunsInDesignOrder()
    {
        // The real player: its own controls take its place in the order,
        // the waveform above the buttons first.
        FakeServices fake;
        fake.services.makePlayer = [](int volume) { return new MediaPlayerWidget(volume); };
        Frm frm(fake.services);
        const QStringList order = {"txtSource", "cmdBrowseS", "txtDestdir", "cmdBrowseD", "cmdO",
                                   "seek",      "play",       "stop",       "volume",     "cmdQ",
                                   "Command1",  "Command2",   "Command3",   "Command4",   "Command5"};
        QStringList seen;
        QWidget* w = frm.findChild<QWidget*>(QStringLiteral("txtSource"));
        for (int steps = 0; steps < 200 && seen.size() < order.size(); ++steps, w = w->nextInFocusChain()) {
            if (order.contains(w->objectName()) && !seen.contains(w->objectName()))
                seen << w->objectName();
        }
        QCOMPARE(seen, order);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(frm.findChild<QWidget*>(QStringLiteral("txtSplit(%1)").arg(i))->focusPolicy(), Qt::NoFocus);
    }

    void fontsAndColours()
    {
        FakeServices fake;
        Frm frm(fake.services);
        auto* lb = frm.findChild<QLabel*>(QStringLiteral("lb"));
        QCOMPARE(lb->font().families().value(0), QStringLiteral("宋体"));
        QCOMPARE(lb->font().pointSizeF(), 10.5);
        QVERIFY(lb->font().bold());
        QCOMPARE(lb->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        auto* about = frm.findChild<QPushButton*>(QStringLiteral("Command3"));
        QCOMPARE(about->font().families().value(0), QStringLiteral("宋体"));
        QCOMPARE(about->font().pointSizeF(), 9.0);
        QVERIFY(about->font().italic());
        QVERIFY(!about->font().bold());
        auto* line = frm.findChild<QWidget*>(QStringLiteral("Line1"));
        QCOMPARE(line->palette().color(QPalette::Window), QColor(192, 192, 255));
        QCOMPARE(line->geometry(), QRect(0, Px(650), Px(6480), 1));
        // Where 宋体 itself is missing, a Song-style face renders the text.
        const QString resolved = QFontInfo(lb->font()).family();
        QVERIFY2(lb->font().families().contains(resolved), qPrintable(resolved));
    }

    void mainPlayerStartsEmptyAtVolume50()
    {
        FakeServices fake;
        Frm frm(fake.services);
        QCOMPARE(fake.players.size(), 1);
        QCOMPARE(fake.players[0]->volume, 50);
        QCOMPARE(fake.players[0]->URL(), QString());
    }

    void totalTimeRoundsHalvesToEven()
    {
        FakeServices fake;
        Frm frm(fake.services);
        auto* lbz = frm.findChild<QLabel*>(QStringLiteral("lbz"));
        QCOMPARE(lbz->text(), QString());
        frm.Timer1_Timer();
        QCOMPARE(lbz->text(), QStringLiteral(" 0秒"));
        FakePlayer* player = fake.players[0];
        player->url = QStringLiteral("/x.mp3");
        const std::pair<double, const char*> cases[] = {{12.5, " 12秒"}, {13.5, " 14秒"}, {59.4, " 59秒"}};
        for (const auto& [seconds, shown] : cases) {
            player->length = seconds;
            frm.Timer1_Timer();
            QCOMPARE(lbz->text(), QString::fromUtf8(shown));
        }
        // With nothing loaded the last duration read stays.
        player->url.clear();
        frm.Timer1_Timer();
        QCOMPARE(lbz->text(), QStringLiteral(" 59秒"));
        QCOMPARE(fake.shared.MediaDuration, 59.4);
    }

    void timerTicksOnItsOwn()
    {
        FakeServices fake;
        Frm frm(fake.services);
        auto* lbz = frm.findChild<QLabel*>(QStringLiteral("lbz"));
        QTRY_COMPARE_WITH_TIMEOUT(lbz->text(), QStringLiteral(" 0秒"), 5000);
    }

    void lockSplitRefusesTypingNotProgramWrites()
    {
        FakeServices fake;
        Frm frm(fake.services);
        frm.show();
        auto* field = frm.findChild<QLineEdit*>(QStringLiteral("txtSplit(1)"));
        frm.LockSplit(true);
        QVERIFY(field->isReadOnly());
        field->setText(QStringLiteral("12"));
        QCOMPARE(field->text(), QStringLiteral("12"));
        QTest::keyClicks(field, QStringLiteral("34"));
        QCOMPARE(field->text(), QStringLiteral("12"));
        frm.LockSplit(false);
        QVERIFY(!field->isReadOnly());
        field->setCursorPosition(2);
        QTest::keyClicks(field, QStringLiteral("34"));
        QCOMPARE(field->text(), QStringLiteral("1234"));
    }
};

QTEST_MAIN(FrmLayoutTest)
#include "frm_layout_test.moc"
