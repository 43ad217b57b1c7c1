// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a path crosses between Qt and the engine: as the bytes the file
// system names the file by, those Qt itself opens it with. The file the
// player plays and the file the engine cuts are then one file, whatever the
// name's characters.

#include <QString>

#include <filesystem>

namespace sundrel {

std::filesystem::path EnginePath(const QString& path);
QString QtPath(const std::filesystem::path& path);

}  // namespace sundrel
