// SPDX-License-Identifier: GPL-3.0-or-later
#include "spoken_status.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QVariant>

namespace sundrel {

namespace {

#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
constexpr char kSpokenStatus[] = "sundrelSpokenStatus";
#endif
constexpr char kOutOfHearing[] = "sundrelOutOfHearing";

#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
// A notification (Qt before 6.8 has no announcement) whose name is the
// status: its change is what a screen reader speaks.
class StatusAccessible final : public QAccessibleWidget {
public:
    explicit StatusAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::Notification) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name)
            return static_cast<QLabel*>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};
#endif

// Neither seen nor read: no children, no text, no name. Without a text of
// its own, a change of a field's text is not passed on as one.
class UnheardAccessible final : public QAccessibleWidget {
public:
    explicit UnheardAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::NoRole) {}

    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.invisible = true;
        state.offscreen = true;
        return state;
    }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QString text(QAccessible::Text) const override { return {}; }
    void* interface_cast(QAccessible::InterfaceType) override { return nullptr; }
};

QAccessibleInterface* MakeAccessible(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    if (widget->property(kOutOfHearing).toBool())
        return new UnheardAccessible(widget);
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
    if (widget->property(kSpokenStatus).toBool())
        return new StatusAccessible(static_cast<QLabel*>(widget));
#endif
    return nullptr;
}

// The widget is met through the factory from here on, even if a screen
// reader already asked after it.
void MarkForFactory(QWidget* widget, const char* property)
{
    static const bool installed = (QAccessible::installFactory(&MakeAccessible), true);
    Q_UNUSED(installed);
    widget->setProperty(property, true);
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(widget))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

}  // namespace

void MakeStatusSpoken(QLabel* label)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
    MarkForFactory(label, kSpokenStatus);
    // QLabel tells a change of its text as a change of its name only while
    // it has no name of its own: named, each status is told once, here.
    label->setAccessibleName(QStringLiteral("状态"));
#else
    Q_UNUSED(label);
#endif
}

void SayStatus(QLabel* label, const QString& text)
{
    label->setText(text);
    if (text.isEmpty())
        return;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent event(label, text);
    QAccessible::updateAccessibility(&event);
#else
    QAccessibleEvent event(label, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
#endif
}

void KeepOutOfHearing(QWidget* widget) { MarkForFactory(widget, kOutOfHearing); }

}  // namespace sundrel
