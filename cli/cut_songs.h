// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One song cut as the command line asks, through the engine's kept file.

#include "cut_options.h"

#include <filesystem>
#include <string>

namespace sundrel::cli {

struct SongCut {
    bool Cut = false;
    std::string Line;  // the ringtone's path, start, end and length; or why not, in Chinese
};

SongCut CutSong(const CutOptions& options, const std::filesystem::path& song);

}  // namespace sundrel::cli
