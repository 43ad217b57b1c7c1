// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QLocalServer;
class QLocalSocket;

namespace sundrel {

// The door of the copy of the program that owns the window in this desktop
// session: a later start hands its songs through it and exits, so that the
// desktop's "Open with" fills the window already open rather than opening
// another. It is a local socket only its user can reach, one per user and
// display: another user or another session has a door of its own.
class WindowDoor final : public QObject {
    Q_OBJECT

public:
    // path: where the socket lies; empty where no private place was found,
    // and then there is no door at all.
    explicit WindowDoor(QString path, QObject* parent = nullptr);
    ~WindowDoor() override;

    // Hands the songs (none: the window is merely brought forward) to the
    // copy listening here, and waits until it has taken them. False when no
    // copy listens, or it did not answer.
    bool handOver(const QList<QUrl>& songs) const;
    // Songs handed over go to `taker`, which says whether it takes them (a
    // window closed takes none, and the later start opens one of its own);
    // it must not wait on the user, who the handing start keeps waiting.
    using Taker = std::function<bool(const QList<QUrl>& songs)>;
    // Listens here unless a live copy does already. A socket left behind by
    // a copy that was killed answers nobody and is replaced.
    bool open(Taker taker);

private:
    void admit();
    void readFrom(QLocalSocket* socket);
    bool someoneListens() const;

    QString path_;
    QLocalServer* server_ = nullptr;
    Taker taker_;
};

// The socket's path for the user and the display the program runs on: in
// $XDG_RUNTIME_DIR, or else in a folder of the user's own (mode 0700) in
// the temporary folder. Empty when neither is the user's alone.
QString SessionDoorPath();

}  // namespace sundrel
