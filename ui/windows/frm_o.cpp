// SPDX-License-Identifier: GPL-3.0-or-later
#include "frm_o.h"

#include "form_builder.h"
#include "window_style.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace sundrel {

namespace {

// Three lines, each ended by a line break, the last one too. The hyphens of
// the first line and the colon before "用千千静听" are ASCII.
constexpr const char* kHelpText =
    "Sundrel--------剪切其他格式。\n"
    "要剪切其他格式首先要把其他格式转换为MP3格式，其实也非常简单:用千千静听转换（推荐）。\n"
    "方法如下：有千千静听吗？有的话用千千静听打开，然后对那首歌点击右键，有格式转换，"
    "最上面有一个输出格式，选择MP3格式，然后点击开始转换就可以了。\n";

constexpr ControlRow kControls[] = {
    {"Label1", ControlKind::Label, kHelpText, 120, 240, 5775, 1575, 0, ""},
    {"Command1", ControlKind::Button, "关闭(&C)", 1680, 1920, 2175, 495, 1, ""},
};

// A line a fifth higher than the signs: clear of the next, and the six
// lines of the text still fit the label as designed.
constexpr double kLineHeight = 1.2;

// The label's text as QLabel lays it out (wrapped at the label's width, a
// paragraph a line of the text), each line kLineHeight signs below the one
// before.
void PaintSpacedLines(QLabel* label)
{
    QPainter painter(label);
    painter.setPen(label->palette().color(label->foregroundRole()));
    const QRect area = label->contentsRect();
    const QFontMetricsF metrics(label->font());
    const double step = std::max(metrics.lineSpacing(), std::ceil(metrics.height() * kLineHeight));
    double y = area.top();
    QTextOption wrapping;
    wrapping.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    for (const QString& paragraph : label->text().split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, label->font());
        layout.setTextOption(wrapping);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(area.width());
            line.setPosition(QPointF(0, y - area.top()));
            y += step;
        }
        layout.endLayout();
        layout.draw(&painter, area.topLeft());
    }
}

}  // namespace

FrmO::FrmO(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    MakeFixedWindow(this, "FrmO", QStringLiteral("Sundrel--如何剪切其他格式"), 5970, 2625);

    const auto controls = BuildControls(this, kControls);
    auto* help = static_cast<QLabel*>(controls.value(QStringLiteral("Label1")));
    help->setFont(SongFont(10.5));
    help->installEventFilter(this);
    help_ = help;
    auto* close = static_cast<QPushButton*>(controls.value(QStringLiteral("Command1")));
    MakeDefaultButton(close);
    connect(close, &QPushButton::clicked, this, &FrmO::Command1_Click);
    CentreOnScreen(this);
}

void FrmO::Command1_Click() { close(); }

bool FrmO::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == help_ && event->type() == QEvent::Paint) {
        PaintSpacedLines(help_);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace sundrel
