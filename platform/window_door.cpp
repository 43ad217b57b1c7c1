// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_door.h"

#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

#include <sys/stat.h>
#include <unistd.h>

namespace sundrel {

namespace {

// A running copy answers at once, but for a nested event loop it may be in
// (a cut, a message box): long enough for those, short enough that a hung
// copy does not keep the user waiting for long.
constexpr int kAnswerWaitMs = 10000;
constexpr char kTaken = 'k';
constexpr char kDeclined = 'n';

// A folder that only this user can enter: no link, theirs, nobody else's
// rights. Made so when it does not exist yet.
bool PrivateFolder(const QByteArray& path, bool make)
{
    if (make)
        ::mkdir(path.constData(), 0700);
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & 0077) == 0;
}

// The display names the session: two logins of one user share the runtime
// folder, never the display.
QString DisplayName()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    return display.replace(unsafe, QStringLiteral("_"));
}

}  // namespace

QString SessionDoorPath()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !PrivateFolder(QFile::encodeName(folder), false)) {
        folder = QDir::tempPath() + QStringLiteral("/sundrel-%1").arg(::geteuid());
        if (!PrivateFolder(QFile::encodeName(folder), true))
            return {};
    }
    return folder + QStringLiteral("/sundrel-window-") + DisplayName();
}

WindowDoor::WindowDoor(QString path, QObject* parent) : QObject(parent), path_(std::move(path)) {}

WindowDoor::~WindowDoor() = default;

bool WindowDoor::handOver(const QList<QUrl>& songs) const
{
    if (path_.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(kAnswerWaitMs))
        return false;
    QDataStream out(&socket);
    out << songs;
    socket.flush();
    // Taken once the copy says so: a copy that dies meanwhile took nothing.
    while (socket.bytesAvailable() == 0)
        if (!socket.waitForReadyRead(kAnswerWaitMs))
            return false;
    char answer = 0;
    return socket.getChar(&answer) && answer == kTaken;
}

bool WindowDoor::someoneListens() const
{
    QLocalSocket socket;
    socket.connectToServer(path_);
    return socket.waitForConnected(kAnswerWaitMs);
}

bool WindowDoor::open(Taker taker)
{
    if (path_.isEmpty() || server_)
        return server_ != nullptr;
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    bool listening = server->listen(path_);
    if (!listening && server->serverError() == QAbstractSocket::AddressInUseError && !someoneListens()) {
        QLocalServer::removeServer(path_);
        listening = server->listen(path_);
    }
    if (!listening) {
        delete server;
        return false;
    }
    server_ = server;
    taker_ = std::move(taker);
    connect(server_, &QLocalServer::newConnection, this, &WindowDoor::admit);
    return true;
}

void WindowDoor::admit()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        readFrom(socket);
    }
}

void WindowDoor::readFrom(QLocalSocket* socket)
{
    QDataStream in(socket);
    in.startTransaction();
    QList<QUrl> songs;
    in >> songs;
    if (!in.commitTransaction())
        return;
    socket->putChar(taker_(songs) ? kTaken : kDeclined);
    socket->flush();
    socket->disconnectFromServer();
}

}  // namespace sundrel
