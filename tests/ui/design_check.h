// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Checks a window against its design sheet, written in the test from the
// design and not from the code, so that a change to either shows. Twips
// become pixels at 15 to one, the usual 96 DPI.

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <span>

namespace sundrel::testing {

struct DesignRow {
    const char* name;
    const char* caption;  // nullptr: not checked
    int left, top, width, height;
    const char* container = nullptr;  // objectName of the parent; nullptr: not checked
};

inline int Px(int twips) { return qRound(twips / 15.0); }

inline QString CaptionOf(QWidget* w)
{
    if (auto* b = qobject_cast<QPushButton*>(w))
        return b->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    return {};
}

inline void CheckDesign(QWidget* window, std::span<const DesignRow> rows)
{
    for (const DesignRow& r : rows) {
        auto* w = window->findChild<QWidget*>(QString::fromUtf8(r.name));
        QVERIFY2(w, r.name);
        if (r.container)
            QCOMPARE(w->parentWidget()->objectName(), QString::fromUtf8(r.container));
        QCOMPARE(w->geometry(), QRect(Px(r.left), Px(r.top), Px(r.width), Px(r.height)));
        if (r.caption)
            QCOMPARE(CaptionOf(w), QString::fromUtf8(r.caption));
    }
}

// Not resizable, a close button only, the one icon, and no owner.
inline void CheckFixedWithCloseOnly(QWidget* window)
{
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QVERIFY(window->windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(!window->windowIcon().isNull());
    QVERIFY(!window->parentWidget());
}

}  // namespace sundrel::testing
