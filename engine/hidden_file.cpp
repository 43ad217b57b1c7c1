// SPDX-License-Identifier: GPL-3.0-or-later
#include "hidden_file.h"

#include <cerrno>
#include <string>
#include <system_error>

namespace sundrel {
namespace fs = std::filesystem;

namespace {

// Names tried for a hidden file before giving up.
constexpr int HiddenAttempts = 100;

// ".<name>.<purpose><attempt>" in the target's folder, joined as text.
fs::path HiddenName(const fs::path& target, const char* purpose, int attempt) {
    fs::path name = ".";
    name += target.filename();
    name += ".";
    name += purpose;
    name += std::to_string(attempt);
    fs::path hidden = target;
    hidden.replace_filename(name);
    return hidden;
}

}  // namespace

std::FILE* OpenFile(const fs::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

std::FILE* CreateHiddenBeside(const fs::path& target, const char* purpose, fs::path& name) {
    for (int attempt = 0; attempt < HiddenAttempts; ++attempt) {
        name = HiddenName(target, purpose, attempt);
        // Read back too: a kept file's levels are set in it before it is
        // put in place.
        if (std::FILE* file = OpenFile(name, "wb+x")) return file;
        // errno stays the open's, so that a caller can say why: no folder,
        // no permission, a name too long.
        const int why = errno;
        std::error_code ec;
        const bool clash = fs::exists(fs::symlink_status(name, ec));
        errno = why;
        if (!clash) return nullptr;
    }
    return nullptr;
}

void RemoveHiddenLeftovers(const fs::path& target, const char* purpose) {
    for (int attempt = 0; attempt < HiddenAttempts; ++attempt) {
        const fs::path name = HiddenName(target, purpose, attempt);
        std::error_code ec;
        // Not following links: a link of this name is not ours, and neither
        // is what it leads to.
        if (!fs::is_regular_file(fs::symlink_status(name, ec)) || ec) continue;
        if (fs::hard_link_count(name, ec) == 1 && !ec) fs::remove(name, ec);
    }
}

}  // namespace sundrel
