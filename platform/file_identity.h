// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace sundrel {

// Which file a path names, and in what state: another file renamed onto the
// path, or the same file rewritten, compares unequal.
struct FileIdentity {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t Size = 0;
    std::int64_t ModifiedNs = 0;

    bool operator==(const FileIdentity&) const = default;
};

// Nothing when the path names no regular file (links followed).
std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path);

}  // namespace sundrel
