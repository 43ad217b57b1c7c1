// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_identity.h"

#include <sys/stat.h>

namespace sundrel {

std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    FileIdentity identity;
    identity.Device = static_cast<std::uint64_t>(status.st_dev);
    identity.Inode = static_cast<std::uint64_t>(status.st_ino);
    identity.Size = static_cast<std::int64_t>(status.st_size);
    identity.ModifiedNs = static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec;
    return identity;
}

}  // namespace sundrel
