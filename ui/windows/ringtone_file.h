// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "file_identity.h"

#include <QString>

#include <filesystem>
#include <optional>

namespace sundrel {

// Which file a window's ringtone is: where the cut put it (or save as moved
// it), and that file's identity on disk then. Another copy of the program
// cutting into the same folder, or a hand that edits, replaces or deletes
// it, leaves a file there that is no longer this one.
struct RingtoneFile {
    std::filesystem::path Path;
    std::optional<FileIdentity> Identity;

    // Nothing recorded yet: no cut has put a ringtone in place.
    bool None() const { return Path.empty(); }
    // The file at `path` now, recorded as the ringtone.
    static RingtoneFile At(const std::filesystem::path& path);
};

// Nothing while the file at the ringtone's path is still the one recorded;
// otherwise what the user is told about it. A window acts on the file
// (moves, plays, deletes it) only in the first case.
std::optional<QString> RingtoneLost(const RingtoneFile& ringtone);

}  // namespace sundrel
