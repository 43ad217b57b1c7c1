// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_style.h"

#include "form_builder.h"

#include <QtGui/qguiapplication_platform.h>
#include <QColor>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStringList>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace sundrel {

namespace {

xcb_atom_t InternAtom(xcb_connection_t* connection, const char* name)
{
    const auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// Adds _NET_WM_STATE_SKIP_TASKBAR to a window that is about to be mapped:
// the window manager reads the states when it maps the window, and Qt keeps
// the ones it finds there when it adds its own.
void AddSkipTaskbarState(QWidget* window)
{
    // The offscreen platform answers as X11 too, without a connection.
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !connection)
        return;
    const xcb_atom_t state = InternAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t skip = InternAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    if (state == XCB_ATOM_NONE || skip == XCB_ATOM_NONE)
        return;
    const auto id = static_cast<xcb_window_t>(window->winId());

    const auto cookie = xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, 1024);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr);
    bool present = false;
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / int(sizeof(xcb_atom_t));
        present = std::find(atoms, atoms + count, skip) != atoms + count;
    }
    std::free(reply);
    if (!present)
        xcb_change_property(connection, XCB_PROP_MODE_APPEND, id, state, XCB_ATOM_ATOM, 32, 1, &skip);
    xcb_flush(connection);
}

// The show event reaches a widget just before its window is mapped.
class SkipTaskbarOnShow final : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            AddSkipTaskbarState(static_cast<QWidget*>(watched));
        return false;
    }
};

}  // namespace

QIcon SundrelIcon() { return QIcon(QStringLiteral(":/sundrel/sundrel.png")); }

double ContrastRatio(const QColor& one, const QColor& other)
{
    const auto luminance = [](const QColor& colour) {
        const auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
    };
    const double a = luminance(one), b = luminance(other);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor TextColourOn(const QPalette& palette, const QColor& designed, const QColor& onDark)
{
    const QColor ground = palette.color(QPalette::Window);
    if (palette.color(QPalette::WindowText).lightness() <= ground.lightness())
        return designed;
    // Lighter in its own hue, so that a blue stays a blue; white at worst.
    constexpr double kReadable = 4.5;
    QColor colour = onDark.toHsl();
    while (ContrastRatio(colour, ground) < kReadable && colour.lightness() < 255)
        colour.setHsl(colour.hslHue(), colour.hslSaturation(), std::min(255, colour.lightness() + 4));
    return colour.toRgb();
}

QFont SongFont(double points, bool bold, bool italic)
{
    QFont font;
    // Song (Ming) faces first, so the texts keep their serif look on Linux.
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                      QStringLiteral("AR PL SungtiL GB"), QStringLiteral("Noto Serif CJK SC"),
                      QStringLiteral("WenQuanYi Micro Hei")});
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

QFont DefaultFormFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Microsoft YaHei"), QStringLiteral("AR PL UMing CN")});
    font.setPointSizeF(9);
    return font;
}

void MakeFixedWindow(QWidget* window, const char* name, const QString& title, int widthTwips, int heightTwips,
                     Qt::WindowFlags extra)
{
    window->setObjectName(QString::fromUtf8(name));
    window->setWindowTitle(title);
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint | extra);
    window->setWindowIcon(SundrelIcon());
    window->setFont(DefaultFormFont());
    SetClientSizeTwips(window, widthTwips, heightTwips);
}

void MakeDefaultButton(QPushButton* button)
{
    button->setDefault(true);
    QWidget* window = button->window();
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), window);
        QObject::connect(shortcut, &QShortcut::activated, button, [window, button] {
            auto* focused = qobject_cast<QPushButton*>(window->focusWidget());
            (focused ? focused : button)->animateClick();
        });
    }
}

void KeepOutOfTaskbar(QWidget* window) { window->installEventFilter(new SkipTaskbarOnShow(window)); }

void CentreOnScreen(QWidget* window)
{
    if (const QScreen* screen = window->screen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

void PlaceBeside(QWidget* window, const QWidget* other)
{
    const QScreen* screen = other->screen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QRect busy = other->frameGeometry();
    // Not shown yet, the window has no frame: it will get one as thick as
    // the other's.
    const QRect inner = other->geometry();
    const QSize size = window->size().grownBy(QMargins(inner.left() - busy.left(), inner.top() - busy.top(),
                                                       busy.right() - inner.right(), busy.bottom() - inner.bottom()));
    constexpr int kGap = 8;
    const QPoint corners[] = {
        {busy.right() + 1 + kGap, busy.top()},
        {busy.left() - kGap - size.width(), busy.top()},
        {busy.left(), busy.bottom() + 1 + kGap},
        {busy.left(), busy.top() - kGap - size.height()},
    };
    // Each place slid along its side onto the screen; the first that
    // covers nothing, else the one that covers least.
    std::optional<QRect> best;
    qint64 bestCovered = 0;
    for (const QPoint corner : corners) {
        QRect place(corner, size);
        place.moveLeft(std::clamp(place.left(), room.left(), std::max(room.left(), room.right() + 1 - size.width())));
        place.moveTop(std::clamp(place.top(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height())));
        const QRect covered = place.intersected(busy);
        const qint64 area = covered.isEmpty() ? 0 : qint64(covered.width()) * covered.height();
        if (!best || area < bestCovered) {
            best = place;
            bestCovered = area;
        }
        if (area == 0)
            break;
    }
    window->move(best->topLeft());
}

}  // namespace sundrel
