// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A moment of a song as a user types it: seconds ("62.43") or minutes and
// seconds ("1:02.43"), hours too ("1:02:03.5"). The window's time entry
// and the command line read times the same way.

#include <optional>
#include <string_view>

namespace sundrel {

// Nothing for text that is no such time: empty, signed, not a number,
// seconds of 60 or more after a colon, a decimal point elsewhere than in
// the seconds. Blanks around it are allowed; a decimal comma is taken as a
// point, as a user in a comma locale types it.
std::optional<double> ParseTimeText(std::string_view text);

}  // namespace sundrel
