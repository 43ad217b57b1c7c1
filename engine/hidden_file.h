// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Inside the engine: files written beside their final name and renamed
// into place only when whole.

#include <cstdio>
#include <string>

namespace sundrel {

// Creates a new file beside `target`, exclusively, so that no existing file
// or link (nor what a link points to) is ever opened for writing; its name
// starts with '.' to stay out of sight and ends with `purpose` and a number.
// Returns the open file and sets `name`, or nullptr when none could be made.
std::FILE* CreateHiddenBeside(const std::string& target, const char* purpose, std::string& name);

}  // namespace sundrel
