// SPDX-License-Identifier: GPL-3.0-or-later
#include "after_first_paint.h"
#include "app_services.h"
#include "desktop.h"
#include "font_setup_ahead.h"
#include "frm.h"
#include "media_player_widget.h"
#include "process_setup.h"
#include "window_door.h"
#include "window_style.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

namespace {

// A window of its own (--new-window) still opens the door when no other copy
// holds it. Songs handed over after the window closed (another window keeps
// the program running) are left to a window of their own.
void OpenDoor(sundrel::WindowDoor& door, sundrel::Frm& frm)
{
    door.open([&frm](const QList<QUrl>& songs) {
        if (!frm.isVisible())
            return false;
        frm.setWindowState(frm.windowState() & ~Qt::WindowMinimized);
        frm.raise();
        frm.activateWindow();
        QTimer::singleShot(0, &frm, [&frm, songs] { frm.takeUpGiven(songs); });
        return true;
    });
}

}  // namespace

int main(int argc, char* argv[])
{
    sundrel::PrepareProcess();
    sundrel::FontSetupAhead fonts;
    // Every argument the user gives names a song: Qt is handed the program's
    // name alone, so that none of them (-reverse, -style...) is taken as an
    // option of Qt's and none disappears from the files.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Sundrel"));
    QApplication::setWindowIcon(sundrel::SundrelIcon());

    // Qt's own texts (the file dialogs' labels, the overwrite question) in
    // Simplified Chinese, like the rest of the tool.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    // The tool keeps nothing between runs; Qt's file dialogs would remember
    // their folders in the user's settings, so they get a folder of this run.
    const QTemporaryDir runSettings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, runSettings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, runSettings.path());

    // A song named on the command line (the desktop's "Open with" names
    // one) goes to the window already open in this session, if there is
    // one, and this start ends there.
    QStringList arguments = sundrel::UserArguments(argc, argv);
    const bool ownWindow = sundrel::TakeNewWindowOption(arguments);
    const QList<QUrl> given = sundrel::GivenOnCommandLine(arguments);
    sundrel::WindowDoor door(sundrel::SessionDoorPath());
    if (!ownWindow && door.handOver(given))
        return 0;

    // The shared part of the cut outlives every window.
    sundrel::SharedCutState shared;
    sundrel::SystemDesktop desktop;
    sundrel::AppServices services{shared, desktop, [](int volume) { return new sundrel::MediaPlayerWidget(volume); }};

    fonts.wait();
    // The program ends when its last window closes, whichever it is.
    sundrel::Frm frm(services);
    frm.show();
    // The song given is chosen as 浏览 chooses it, once the window is up.
    if (!given.isEmpty())
        sundrel::RunAfterFirstPaint(&frm, [&frm, given] { frm.takeUpGiven(given); });
    OpenDoor(door, frm);
    return QApplication::exec();
}
