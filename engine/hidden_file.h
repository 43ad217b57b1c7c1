// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Inside the engine: files written beside their final name and renamed
// into place only when whole.

#include <cstdio>
#include <filesystem>

namespace sundrel {

// The C library's file of a path: the one place a path is opened by its
// native name (a UTF-16 name would need the platform's own call).
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// Creates a new file beside `target`, exclusively, so that no existing file
// or link (nor what a link points to) is ever opened for writing; its name
// starts with '.' to stay out of sight and ends with `purpose` and a number.
// Returns the file, open for writing and reading, and sets `name`, or
// nullptr when none could be made, with errno saying why.
std::FILE* CreateHiddenBeside(const std::filesystem::path& target, const char* purpose, std::filesystem::path& name);

// Removes the hidden files an earlier run, killed while it wrote beside
// `target` for `purpose`, left behind: regular files of exactly the names
// CreateHiddenBeside gives, with no other name (hard link) of their own.
// A link, a folder or a look-alike name is never touched. Only for a
// caller that knows no running cut writes beside `target`: such a file may
// be one it is writing.
void RemoveHiddenLeftovers(const std::filesystem::path& target, const char* purpose);

}  // namespace sundrel
