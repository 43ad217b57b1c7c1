// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser_folder.h"

#include "dialog_text.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace BrowserFolder {

QString PickFolder(QWidget* owner)
{
    QFileDialog chooser(owner, QStringLiteral("请选择一个目录来存放分割文件："));
    // Qt's own chooser, so that it looks and behaves alike on every desktop
    // and takes the owner's window modality.
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    chooser.setWindowModality(Qt::WindowModal);
    chooser.setDirectory(QDir::rootPath());
    sundrel::UseChineseLabels(chooser, QStringLiteral("选择"));
    if (chooser.exec() != QDialog::Accepted) {
        return {};
    }
    const QString folder = chooser.selectedFiles().value(0);
    // Qt accepts only a folder that exists; this also holds if the folder
    // vanished between the choice and now.
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        return {};
    }
    return TrimFolderPath(folder);
}

QString TrimFolderPath(const QString& path)
{
    if (path.isEmpty()) {
        return {};
    }
    return QDir::cleanPath(path);
}

}  // namespace BrowserFolder
