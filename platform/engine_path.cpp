// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine_path.h"

#include <QFile>

#include <string>

namespace sundrel {

// Where the file system names files in UTF-16, so do Qt and the engine's
// paths; elsewhere it names them in bytes, and QFile::encodeName gives
// those Qt opens a file by.
std::filesystem::path EnginePath(const QString& path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    const QByteArray bytes = QFile::encodeName(path);
    return std::filesystem::path(std::string(bytes.constData(), std::size_t(bytes.size())));
#endif
}

QString QtPath(const std::filesystem::path& path)
{
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.native());
#else
    const std::string& bytes = path.native();
    return QFile::decodeName(QByteArray(bytes.data(), qsizetype(bytes.size())));
#endif
}

}  // namespace sundrel
