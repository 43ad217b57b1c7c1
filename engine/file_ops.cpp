// SPDX-License-Identifier: GPL-3.0-or-later
#include "cut_engine.h"
#include "hidden_file.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

namespace sundrel {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t CopyBufferSize = 1024 * 1024;

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

bool CopyBytes(std::FILE* from, std::FILE* to) {
    const auto buffer = std::make_unique<char[]>(CopyBufferSize);
    for (;;) {
        const std::size_t got = std::fread(buffer.get(), 1, CopyBufferSize, from);
        if (got > 0 && std::fwrite(buffer.get(), 1, got, to) != got) return false;
        if (got < CopyBufferSize) return std::ferror(from) == 0;
    }
}


// rename() cannot cross file systems: the bytes go to a temporary file
// beside the target first, so the target is replaced whole or not at all.
bool MoveAcross(const fs::path& from, const fs::path& to) {
    std::FILE* in = OpenFile(from, "rb");
    if (!in) return false;
    fs::path temporary;
    std::FILE* out = CreateHiddenBeside(to, "moving", temporary);
    if (!out) {
        std::fclose(in);
        return false;
    }
    bool ok = CopyBytes(in, out);
    ok = std::fflush(out) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    std::fclose(in);

    std::error_code ec;
    if (ok) {
        const fs::perms perms = fs::status(from, ec).permissions();
        if (!ec) fs::permissions(temporary, perms, ec);
        fs::rename(temporary, to, ec);
        ok = !ec;
    }
    if (!ok) {
        fs::remove(temporary, ec);
        return false;
    }
    // The target now holds the file. Should the source refuse to go, a copy
    // too many is left behind, which loses nothing.
    fs::remove(from, ec);
    return true;
}

}  // namespace

std::FILE* OpenFile(const fs::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

std::FILE* CreateHiddenBeside(const fs::path& target, const char* purpose, fs::path& name) {
    for (int attempt = 0; attempt < HiddenAttempts; ++attempt) {
        name = HiddenName(target, purpose, attempt);
        if (std::FILE* file = OpenFile(name, "wbx")) return file;
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(name, ec))) return nullptr;  // not a name clash
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

std::optional<std::int64_t> FileLength(const fs::path& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > static_cast<std::uintmax_t>(std::numeric_limits<std::int64_t>::max()))
        return std::nullopt;
    return static_cast<std::int64_t>(size);
}

bool MoveFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::status(from, ec))) return false;
    fs::rename(from, to, ec);
    if (!ec) return true;
    if (ec != std::errc::cross_device_link) return false;
    return MoveAcross(from, to);
}

}  // namespace sundrel
