#include "window_style.h"

#include "form_builder.h"

#include <QFont>
#include <QIcon>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStringList>
#include <QWidget>

namespace sundrel {

QIcon SundrelIcon()
{
    return QIcon(QStringLiteral(":/sundrel/sundrel.png"));
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

void MakeFixedWindow(QWidget* window, const char* name, const QString& title, int widthTwips,
                     int heightTwips, Qt::WindowFlags extra)
{
    window->setObjectName(QString::fromUtf8(name));
    window->setWindowTitle(title);
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                           | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint | extra);
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

void CentreOnScreen(QWidget* window)
{
    if (const QScreen* screen = window->screen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

}  // namespace sundrel
