// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a path crosses between Qt and the engine: as the bytes the file
// system names the file by. A name is bytes, and not every name is UTF-8
// (Latin-1 or GBK names from old CDs and USB sticks): each byte that is not
// part of valid UTF-8 travels through Qt as a lone surrogate, U+DC80 plus
// the byte, and turns back into that very byte on the way out. The file the
// player plays and the file the engine cuts are then one file, whatever its
// name, and two names that differ in such a byte stay two files. A name in
// UTF-8 reads exactly as Qt reads it.
//
// Such a path is never handed to a Qt file API (QFile, QFileInfo, QDir,
// QUrl::fromLocalFile), which would write those bytes as U+FFFD and name
// another file; it is shown through ShownPath.

#include <QString>

#include <filesystem>

class QUrl;

namespace sundrel {

std::filesystem::path EnginePath(const QString& path);
QString QtPath(const std::filesystem::path& path);
// The engine path made absolute against the working folder, without
// resolving links, as Qt's absoluteFilePath does; as given when the working
// folder is gone.
std::filesystem::path AbsoluteEnginePath(const QString& path);

// The path as the user reads it: each byte that is not UTF-8 shown as
// U+FFFD. Only ever shown, never taken back as a path.
QString ShownPath(const QString& path);
// True when the name holds bytes that are not UTF-8, which no Qt file API
// nor a command's argument can carry.
bool HasForeignBytes(const QString& path);

// A file:// URL of the path's own bytes, each percent-encoded where it must
// be (invalid UTF-8 stays %XX), and back: the local path of a file:// URL,
// from its encoded bytes. The way songs cross the window's door and come
// in a drop without losing a byte.
QUrl FileUrl(const QString& path);
QString LocalPath(const QUrl& url);

}  // namespace sundrel
