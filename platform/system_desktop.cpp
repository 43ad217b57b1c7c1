// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop.h"

#include "browser_folder.h"
#include "dialog_text.h"
#include "engine_path.h"
#include "save_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace sundrel {

// Every dialog here is Qt's own rather than the desktop's, so that it
// behaves the same everywhere, and is modal to its owner's window only.

// Without a title of the caller's, a dialog is titled as the desktop's own
// open and save dialogs are, not with Qt's English default.
QString SystemDesktop::askOpenFile(QWidget* owner, const QString& title, const QString& filter, const QString& folder)
{
    QFileDialog dialog(owner, title.isEmpty() ? QStringLiteral("打开") : title, folder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QtNameFilter(filter));
    dialog.setWindowModality(Qt::WindowModal);
    UseChineseLabels(dialog, QStringLiteral("打开"));
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles().value(0);
}

QString SystemDesktop::askSaveFile(QWidget* owner, const QString& title, const QString& filter, const QString& folder,
                                   const QString& name)
{
    Mp3SaveDialog dialog(owner);
    dialog.setDirectory(folder);
    if (!name.isEmpty())
        dialog.selectFile(name);
    dialog.setWindowTitle(title.isEmpty() ? QStringLiteral("另存为") : title);
    dialog.setNameFilter(QtNameFilter(filter));
    dialog.setWindowModality(Qt::WindowModal);
    UseChineseLabels(dialog, QStringLiteral("保存"));
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles().value(0);
}

QString SystemDesktop::pickFolder(QWidget* owner) { return BrowserFolder::PickFolder(owner); }

void SystemDesktop::openFolder(const QString& folder)
{
    // The folder is one argument and no shell reads it, so blanks and quotes
    // in a name cannot split or break it. The file manager outlives us.
    // xdg-open asks the desktop's own file manager; where xdg-utils is not
    // installed, GLib's gio opens the folder with the one the desktop's
    // menu entries name.
    // A name that is not UTF-8 cannot be an argument's text: such a folder
    // goes as a file:// URL of its bytes, which both open alike.
    QString target = folder.isEmpty() ? QDir::homePath() : folder;
    if (HasForeignBytes(target))
        target = FileUrl(target).toString(QUrl::FullyEncoded);
    if (!QProcess::startDetached(QStringLiteral("xdg-open"), {target})) {
        QProcess::startDetached(QStringLiteral("gio"), {QStringLiteral("open"), target});
    }
}

void SystemDesktop::message(QWidget* owner, const QString& text, const QString& title)
{
    QMessageBox box(owner);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(title.isEmpty() ? QGuiApplication::applicationDisplayName() : title);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    auto* ok = static_cast<QPushButton*>(box.button(QMessageBox::Ok));
    ok->setText(QStringLiteral("确定"));
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.setWindowModality(Qt::WindowModal);
    // A refusal may come from a mark dropped on the waveform, while the
    // window under the pointer holds the keyboard: the box takes it once it
    // is shown, so that Return or Esc answers it at once.
    QTimer::singleShot(0, &box, [&box, ok] {
        box.raise();
        box.activateWindow();
        ok->setFocus(Qt::ActiveWindowFocusReason);
    });
    box.exec();
}

}  // namespace sundrel
