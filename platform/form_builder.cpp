// SPDX-License-Identifier: GPL-3.0-or-later
#include "form_builder.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace sundrel {

int TwipsToPixels(int twips, const QWidget* reference)
{
    qreal dpi = 96.0;
    if (const QScreen* screen = reference ? reference->screen() : nullptr)
        dpi = screen->logicalDotsPerInchY();
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

namespace {

// A button whose caption wraps onto a second line when one line is too
// narrow for it, as the designed widths expect of a long caption.
class CaptionButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QStyleOptionButton option;
        initStyleOption(&option);
        const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        if (fontMetrics().horizontalAdvance(option.text) <= area.width()) {
            QPushButton::paintEvent(event);
            return;
        }
        const QString caption = option.text;
        option.text.clear();
        QPainter painter(this);
        style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, caption);
    }
};

QWidget* MakeControl(const ControlRow& row, QWidget* parent)
{
    const QString caption = QString::fromUtf8(row.caption);
    switch (row.kind) {
        case ControlKind::Frame:
            return new QGroupBox(caption, parent);
        case ControlKind::Label: {
            auto* label = new QLabel(caption, parent);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            // A label of fixed size wraps a text too long for one line.
            label->setWordWrap(true);
            return label;
        }
        case ControlKind::TextBox:
            return new QLineEdit(caption, parent);
        case ControlKind::Button:
            return new CaptionButton(caption, parent);
        case ControlKind::Line: {
            auto* line = new QFrame(parent);
            line->setFrameShape(QFrame::NoFrame);
            line->setAutoFillBackground(true);
            return line;
        }
        case ControlKind::Premade:
            break;
    }
    return nullptr;
}

// Where the keyboard focus stops inside a control: the control itself, or,
// for a composite such as the media player, its own controls in the order
// they were made, so that all of them take the control's place in the order.
std::vector<QWidget*> FocusStops(QWidget* control)
{
    if (control->focusPolicy() & Qt::TabFocus)
        return {control};
    std::vector<QWidget*> stops;
    for (QWidget* child : control->findChildren<QWidget*>())
        if (child->focusPolicy() & Qt::TabFocus)
            stops.push_back(child);
    return stops;
}

}  // namespace

QHash<QString, QWidget*> BuildControls(QWidget* form, std::span<const ControlRow> rows,
                                       const QHash<QString, QWidget*>& premade)
{
    QHash<QString, QWidget*> controls;
    std::vector<std::pair<int, QWidget*>> focusOrder;
    for (const ControlRow& row : rows) {
        const QString name = QString::fromUtf8(row.name);
        QWidget* parent = *row.container ? controls.value(QString::fromUtf8(row.container)) : form;
        Q_ASSERT(parent);
        QWidget* control = row.kind == ControlKind::Premade ? premade.value(name) : MakeControl(row, parent);
        Q_ASSERT(control);
        control->setParent(parent);
        control->setObjectName(name);
        // A line is a pixel high whatever its height in the table.
        const int height = row.kind == ControlKind::Line ? 1 : TwipsToPixels(row.height, form);
        control->setGeometry(TwipsToPixels(row.left, form), TwipsToPixels(row.top, form),
                             TwipsToPixels(row.width, form), height);
        controls.insert(name, control);
        if (row.tab >= 0)
            for (QWidget* stop : FocusStops(control))
                focusOrder.emplace_back(row.tab, stop);
    }
    std::stable_sort(focusOrder.begin(), focusOrder.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < focusOrder.size(); ++i)
        QWidget::setTabOrder(focusOrder[i - 1].second, focusOrder[i].second);
    return controls;
}

void SetClientSizeTwips(QWidget* form, int width, int height)
{
    form->setFixedSize(TwipsToPixels(width, form), TwipsToPixels(height, form));
}

}  // namespace sundrel
