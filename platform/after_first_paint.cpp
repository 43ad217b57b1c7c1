// SPDX-License-Identifier: GPL-3.0-or-later
#include "after_first_paint.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace sundrel {

namespace {

class AfterFirstPaint final : public QObject {
public:
    AfterFirstPaint(QWidget* widget, std::function<void()> task) : QObject(widget), task_(std::move(task))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // After the paint is done and on the screen, not inside it.
            QTimer::singleShot(0, parent(), task_);
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> task_;
};

}  // namespace

void RunAfterFirstPaint(QWidget* widget, std::function<void()> task) { new AfterFirstPaint(widget, std::move(task)); }

}  // namespace sundrel
