// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tag reader with its reads counted, so that its cost can be checked.

#include "song_map.h"

#include <filesystem>

namespace sundrel::detail {

// Head tags read before a file is taken for hostile.
inline constexpr int MaxHeadTags = 64;
// Tail tags stripped at most; more are taken for sound.
inline constexpr int MaxTailTags = 4;

SongFile ReadSongFile(const std::filesystem::path& path, int& reads);

}  // namespace sundrel::detail
