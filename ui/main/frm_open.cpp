// SPDX-License-Identifier: GPL-3.0-or-later
// A song handed over by the desktop: named on the command line (the menu
// entry's "Open with") or dropped on the window. It is chosen as 浏览
// chooses one.

#include "frm.h"

#include "engine_path.h"
#include "window_texts.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>

#include <filesystem>
#include <system_error>

namespace sundrel {

namespace {

// A file:// URL that names this machine (localhost, or its own name) names
// a local file; its host is dropped so that it reads as one.
QUrl WithoutOwnHost(QUrl url)
{
    const QString host = url.host();
    if (url.isLocalFile() && !host.isEmpty() &&
        (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
         host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0))
        url.setHost(QString());
    return url;
}

}  // namespace

QList<QUrl> GivenOnCommandLine(const QStringList& arguments)
{
    // A file:// URL, or any other scheme://, is read as a URL; anything else
    // is a path, whatever its characters (a name may hold '%' or '#', or
    // begin with '-': --new-window, the one option, is taken out before).
    // The first "--" ends the options, as users write it before such a name.
    static const QRegularExpression otherScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    QStringList names = arguments;
    names.removeOne(QStringLiteral("--"));
    QList<QUrl> given;
    for (const QString& argument : std::as_const(names)) {
        if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) || otherScheme.match(argument).hasMatch())
            given << WithoutOwnHost(QUrl(argument));
        else
            given << (argument.isEmpty() ? QUrl() : FileUrl(QtPath(AbsoluteEnginePath(argument))));
    }
    return given;
}

void Frm::takeUpGiven(const QList<QUrl>& given)
{
    if (given.isEmpty())
        return;
    // A song that comes while a cut is being written is chosen after it, as
    // 浏览 pressed then would be.
    whenFree([this, given] { chooseGiven(given); });
}

void Frm::chooseGiven(const QList<QUrl>& given)
{
    const QString tip = texts::Tip();
    if (given.size() > 1) {
        message(texts::OneSongAtATime(), tip);
        return;
    }
    // A file on another machine (file://host/...) is no local file either.
    // The path comes from the URL's own bytes: a name that is not UTF-8
    // (Latin-1 from an old CD, say) is taken up as the very file it names.
    const QUrl url = WithoutOwnHost(given.front());
    const QString path = LocalPath(url);
    if (!url.isLocalFile() || !url.host().isEmpty() || path.isEmpty()) {
        message(texts::OnlyLocalSongs(), tip);
        return;
    }
    std::error_code unknown;
    const std::filesystem::file_status file = std::filesystem::status(EnginePath(path), unknown);
    if (std::filesystem::is_directory(file)) {
        message(texts::FolderGiven(), tip);
        return;
    }
    if (!std::filesystem::exists(file)) {
        message(texts::SongNotFound(ShownPath(path)), tip);
        return;
    }
    // As if confirmed in the open dialog, which then opens beside it and
    // takes it up again when cancelled.
    CmmDlg.FileName = QtPath(AbsoluteEnginePath(path));
    takeUpSong(CmmDlg.FileName);
}

void Frm::dragEnterEvent(QDragEnterEvent* event)
{
    // Whatever is dropped is answered, a refusal with its reason.
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void Frm::dropEvent(QDropEvent* event)
{
    const QList<QUrl> given = event->mimeData()->urls();
    event->acceptProposedAction();
    // After the drop is over: the file manager is not kept waiting while a
    // message box is open or the song is read.
    QTimer::singleShot(0, this, [this, given] { takeUpGiven(given); });
}

}  // namespace sundrel
