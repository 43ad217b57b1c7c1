// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace sundrel {

// The modal dialogs, the message boxes and the file manager: what cannot
// run in a test, behind one small interface that a test replaces.
class Desktop {
public:
    virtual ~Desktop() = default;

    // Filters are written as "description|pattern" or as a bare pattern.
    // A dialog opens in `folder`, whatever another dialog showed last.
    // Each returns the confirmed path, or "" when the user cancelled.
    virtual QString askOpenFile(QWidget* owner, const QString& title, const QString& filter, const QString& folder) = 0;
    // The save dialog's name box starts with `name` (a file name, or
    // empty); the name confirmed always ends in ".mp3" (any case), and its
    // own overwrite question has been answered yes for that very name.
    virtual QString askSaveFile(QWidget* owner, const QString& title, const QString& filter, const QString& folder,
                                const QString& name) = 0;
    // A folder without its trailing '/', except the root "/".
    virtual QString pickFolder(QWidget* owner) = 0;

    // Starts the desktop's file manager on a folder and does not wait.
    virtual void openFolder(const QString& folder) = 0;

    // Modal, one OK button, no icon; an empty title means none of its own.
    virtual void message(QWidget* owner, const QString& text, const QString& title) = 0;
};

// The real desktop: Qt's file dialogs, the folder chooser, xdg-open.
class SystemDesktop final : public Desktop {
public:
    QString askOpenFile(QWidget* owner, const QString& title, const QString& filter, const QString& folder) override;
    QString askSaveFile(QWidget* owner, const QString& title, const QString& filter, const QString& folder,
                        const QString& name) override;
    QString pickFolder(QWidget* owner) override;
    void openFolder(const QString& folder) override;
    void message(QWidget* owner, const QString& text, const QString& title) override;
};

}  // namespace sundrel
