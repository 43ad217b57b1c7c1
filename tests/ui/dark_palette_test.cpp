// SPDX-License-Identifier: GPL-3.0-or-later
// The main window under a dark desktop palette, with the real player after a
// real cut: every text it shows, read off a picture of the window, stands
// out from what lies behind it at least 4.5 to 1, and the About button's
// slanted caption is as strong as a plain one. Under Qt's light palette the
// status keeps its blue.

#include "mp3_fixture.h"
#include "real_window.h"
#include "waveform_bar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRegion>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

using namespace sundrel;
using namespace sundrel::testing;
namespace fixture = sundrel::test;

namespace {

constexpr double kSongSeconds = 12;
constexpr int kWait = 20000;

double Luminance(QRgb rgb)
{
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

double Contrast(QRgb a, QRgb b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A dark palette as desktops give one: light text on dark grounds.
QPalette DarkPalette()
{
    QPalette dark;
    const QColor window(0x2b, 0x2b, 0x2b), base(0x1e, 0x1e, 0x1e), text(0xee, 0xee, 0xee);
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        dark.setColor(group, QPalette::Window, window);
        dark.setColor(group, QPalette::WindowText, text);
        dark.setColor(group, QPalette::Base, base);
        dark.setColor(group, QPalette::AlternateBase, window);
        dark.setColor(group, QPalette::Text, text);
        dark.setColor(group, QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
        dark.setColor(group, QPalette::ButtonText, text);
        dark.setColor(group, QPalette::Highlight, QColor(0x2a, 0x62, 0xb0));
        dark.setColor(group, QPalette::HighlightedText, Qt::white);
        dark.setColor(group, QPalette::Link, QColor(0x3d, 0x8e, 0xe6));
        dark.setColor(group, QPalette::ToolTipBase, base);
        dark.setColor(group, QPalette::ToolTipText, text);
        dark.setColor(group, QPalette::PlaceholderText, QColor(0x99, 0x99, 0x99));
    }
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x77, 0x77, 0x77));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x77, 0x77, 0x77));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x77, 0x77, 0x77));
    return dark;
}

QString TextOf(QWidget* widget)
{
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* entry = qobject_cast<QLineEdit*>(widget))
        return entry->text();
    return {};
}

// Where a widget's text lies in the picture: its box inside its frame, less
// what other widgets with texts cover of it, the largest piece that is left.
QRect TextArea(QWidget* window, QWidget* widget, const QList<QWidget*>& others)
{
    QRegion area(QRect(widget->mapTo(window, QPoint(0, 0)), widget->size()).adjusted(3, 3, -3, -3));
    for (QWidget* other : others)
        if (other != widget && !other->isAncestorOf(widget) && !widget->isAncestorOf(other))
            area -= QRect(other->mapTo(window, QPoint(0, 0)), other->size());
    area &= window->rect();
    QRect largest;
    for (const QRect& piece : area)
        if (piece.width() * piece.height() > largest.width() * largest.height())
            largest = piece;
    return largest;
}

// How many pixels of the area have each colour, and the ground: the colour
// most of them have.
QRgb Ground(const QImage& picture, const QRect& area, QHash<QRgb, int>& counts)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[picture.pixel(x, y)];
    QRgb ground = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            ground = it.key();
        }
    return ground;
}

// The text's colour is the one that stands out most from the ground (the
// heart of a stroke).
double TextContrast(const QImage& picture, const QRect& area)
{
    QHash<QRgb, int> counts;
    const QRgb ground = Ground(picture, area, counts);
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, Contrast(it.key(), ground));
    return best;
}

// How strong the strokes are: the median contrast of the pixels of ink (all
// that stand out from the ground at all). Thin strokes smoothed into grey
// make a caption that looks switched off, however dark its darkest pixel.
double StrokeContrast(const QImage& picture, const QRect& area)
{
    QHash<QRgb, int> counts;
    const QRgb ground = Ground(picture, area, counts);
    std::vector<double> ink;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (const double c = Contrast(it.key(), ground); c > 1.3)
            ink.insert(ink.end(), std::size_t(it.value()), c);
    if (ink.empty())
        return 1;
    std::sort(ink.begin(), ink.end());
    return ink[ink.size() / 2];
}

}  // namespace

class DarkPaletteTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        song_ = dir_.filePath(QStringLiteral("tone.mp3"));
        QVERIFY(fixture::MakeToneMp3(song_.toStdString(), kSongSeconds));
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        light_ = QApplication::palette();
    }

    void cleanup() { QApplication::setPalette(light_); }

    void everyTextIsReadableUnderADarkPalette()
    {
        QApplication::setPalette(DarkPalette());
        auto w = cutWindow();
        QVERIFY(w);
        checkTexts(w->frm, "after a cut");
        // A cut made again lights the status up for a moment.
        w->player()->findChild<WaveformBar*>(QStringLiteral("seek"))->setFocus();
        QTest::keyClick(w->player()->findChild<WaveformBar*>(QStringLiteral("seek")), Qt::Key_O);
        QTRY_VERIFY_WITH_TIMEOUT(!w->frm.isCutting(), kWait);
        QCOMPARE(status(*w)->text(), QStringLiteral("铃声已换，请试听"));
        checkTexts(w->frm, "with the status lit up");
    }

    void theLightPaletteKeepsTheBlueStatus()
    {
        auto w = cutWindow();
        QVERIFY(w);
        QCOMPARE(status(*w)->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        checkTexts(w->frm, "under the light palette");
    }

private:
    std::unique_ptr<RealWindow> cutWindow()
    {
        auto w = std::make_unique<RealWindow>();
        w->frm.show();
        if (!QTest::qWaitForWindowExposed(&w->frm) || !w->choose(song_, kSongSeconds - 1) || !w->seekTo(2))
            return nullptr;
        w->frm.cmdQ_Click();
        if (!w->seekTo(8))
            return nullptr;
        w->frm.Command1_Click();
        if (!w->desktop.messages.isEmpty() || status(*w)->text().isEmpty())
            return nullptr;
        return w;
    }

    static QLabel* status(RealWindow& w) { return w.frm.findChild<QLabel*>(QStringLiteral("lb")); }

    void checkTexts(QWidget& window, const char* when)
    {
        const QImage picture = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QList<QWidget*> texts;
        for (QWidget* widget : window.findChildren<QWidget*>())
            // A control that is off says so by a faint caption, as it may.
            if (widget->isVisibleTo(&window) && widget->isEnabled() && !TextOf(widget).isEmpty())
                texts << widget;
        int checked = 0;
        QStringList unreadable;
        for (QWidget* widget : std::as_const(texts)) {
            const QRect area = TextArea(&window, widget, texts);
            // Out of view (the size fields below the window) or wholly
            // covered: nothing of it is seen.
            if (area.width() < 4 || area.height() < 4)
                continue;
            const double contrast = TextContrast(picture, area);
            if (contrast < 4.5)
                unreadable << QStringLiteral("%1 (%2): %3 to 1")
                                  .arg(widget->objectName(), TextOf(widget))
                                  .arg(contrast, 0, 'f', 2);
            ++checked;
        }
        QVERIFY2(unreadable.isEmpty(),
                 qPrintable(QLatin1String(when) + QStringLiteral(": ") + unreadable.join(QStringLiteral("; "))));
        QVERIFY(checked >= 15);
        // The About caption is slanted: its strokes must come out as strong
        // as a plain button's, not grey as a button switched off.
        const auto strokes = [&](const char* name) {
            return StrokeContrast(picture, TextArea(&window, window.findChild<QWidget*>(QLatin1String(name)), texts));
        };
        QVERIFY2(strokes("Command3") >= strokes("Command5"), qPrintable(QStringLiteral("%1: 关于 %2, 另存为 %3")
                                                                            .arg(QLatin1String(when))
                                                                            .arg(strokes("Command3"), 0, 'f', 2)
                                                                            .arg(strokes("Command5"), 0, 'f', 2)));
    }

    QTemporaryDir dir_;
    QString song_;
    QPalette light_;
};

QTEST_MAIN(DarkPaletteTest)
#include "dark_palette_test.moc"
