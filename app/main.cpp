#include "app_services.h"
#include "desktop.h"
#include "frm.h"
#include "media_player_widget.h"
#include "window_style.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sundrel"));
    QApplication::setWindowIcon(sundrel::SundrelIcon());

    // The shared part of the cut outlives every window.
    sundrel::SharedCutState shared;
    sundrel::SystemDesktop desktop;
    sundrel::AppServices services{shared, desktop,
                                  [](int volume) { return new sundrel::MediaPlayerWidget(volume); }};

    // The program ends when its last window closes, whichever it is.
    sundrel::Frm frm(services);
    frm.show();
    return QApplication::exec();
}
