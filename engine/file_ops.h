// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the windows do to files besides cutting them: size one, move one.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>

namespace sundrel {

// Length in bytes of a file; nothing when it cannot be read.
std::optional<std::int64_t> FileLength(const std::filesystem::path& path);

// Moves a file to a new name, replacing an existing target, across file
// systems too (copy, then delete). On failure the file stays where it was
// and an existing target is untouched.
bool MoveFile(const std::filesystem::path& from, const std::filesystem::path& to);
// The same, and on failure why: the error of the call that failed (no such
// folder, no permission, no space, a name too long...).
bool MoveFile(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& why);

}  // namespace sundrel
