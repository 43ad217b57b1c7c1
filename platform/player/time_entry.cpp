// SPDX-License-Identifier: GPL-3.0-or-later
#include "time_entry.h"

#include <QKeyEvent>

namespace sundrel {

TimeEntry::TimeEntry(QWidget* parent) : QLineEdit(parent)
{
    setObjectName(QStringLiteral("timeEntry"));
    setAccessibleName(QStringLiteral("输入开始时间"));
    hide();
}

void TimeEntry::open(PlayerMark mark, std::optional<double> seconds, QWidget* back)
{
    mark_ = mark;
    back_ = back;
    const bool start = mark == PlayerMark::Start;
    setAccessibleName(start ? QStringLiteral("输入开始时间") : QStringLiteral("输入结束时间"));
    setPlaceholderText(start ? QStringLiteral("开始时间：秒数（62.43）或分:秒（1:02.43），回车确定")
                             : QStringLiteral("结束时间：秒数（62.43）或分:秒（1:02.43），回车确定"));
    setText(seconds ? QString::number(*seconds, 'f', 2) : QString());
    selectAll();
    show();
    raise();
    setFocus(Qt::ShortcutFocusReason);
}

bool TimeEntry::event(QEvent* event)
{
    // Return is the window's End button's shortcut, and Esc may be the
    // window's too: while the entry is open they are the entry's.
    if (event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void TimeEntry::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        const QString typed = text();
        finish();
        emit this->typed(mark_, typed);
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        finish();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TimeEntry::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // A message box the typed time brought up takes the focus too: the
    // entry is closed already by then.
    if (isVisible())
        finish();
}

void TimeEntry::finish()
{
    hide();
    if (back_)
        back_->setFocus(Qt::OtherFocusReason);
}

}  // namespace sundrel
