// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace BrowserFolder {

// The folder chooser, modal to its owner, titled
// "请选择一个目录来存放分割文件：", starting at the top of the file system
// and accepting only existing folders. Returns the chosen folder without a
// trailing '/' (the root stays "/"), or "" when the user cancelled.
QString PickFolder(QWidget* owner);

// A folder path as PickFolder returns it: without a trailing '/' except for
// the root "/", without doubled '/' or "." and ".." steps; "" stays "".
QString TrimFolderPath(const QString& path);

}  // namespace BrowserFolder
