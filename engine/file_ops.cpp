// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_ops.h"

#include "hidden_file.h"

#include <cerrno>
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
bool MoveAcross(const fs::path& from, const fs::path& to, std::error_code& why) {
    // The C library says why a call failed in errno alone.
    const auto failed = [&why] {
        why = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
        return false;
    };
    errno = 0;
    std::FILE* in = OpenFile(from, "rb");
    if (!in) return failed();
    fs::path temporary;
    std::FILE* out = CreateHiddenBeside(to, "moving", temporary);
    if (!out) {
        failed();
        std::fclose(in);
        return false;
    }
    errno = 0;
    bool ok = CopyBytes(in, out);
    ok = std::fflush(out) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    if (!ok) failed();
    std::fclose(in);

    std::error_code ec;
    if (ok) {
        const fs::perms perms = fs::status(from, ec).permissions();
        if (!ec) fs::permissions(temporary, perms, ec);
        fs::rename(temporary, to, ec);
        ok = !ec;
        if (ec) why = ec;
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

std::optional<std::int64_t> FileLength(const fs::path& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > static_cast<std::uintmax_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    return static_cast<std::int64_t>(size);
}

bool MoveFile(const fs::path& from, const fs::path& to) {
    std::error_code why;
    return MoveFile(from, to, why);
}

bool MoveFile(const fs::path& from, const fs::path& to, std::error_code& why) {
    why.clear();
    if (!fs::is_regular_file(fs::status(from, why))) {
        if (!why) why = std::make_error_code(std::errc::invalid_argument);
        return false;
    }
    fs::rename(from, to, why);
    if (!why) return true;
    if (why != std::errc::cross_device_link) return false;
    why.clear();
    return MoveAcross(from, to, why);
}

}  // namespace sundrel
