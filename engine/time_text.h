// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Moments of a song as a user types them: seconds (62.43) or minutes and
// seconds (1:02.43), the way the display shows them back.

#include <optional>
#include <string>
#include <string_view>

namespace sundrel {

// Seconds from "62.43", "62", "1:02.43" or "1:02": digits, at most one
// separator with digits after it, and in the second form minutes, a colon
// and two digits of seconds under 60. Nothing for anything else: a sign,
// blanks, an exponent, "nan", "1:60", a number too large for a double.
std::optional<double> ParseTimeText(std::string_view text, char separator = '.');

// Seconds to the hundredth, as the display shows them: "62.43".
std::string HundredthsText(double seconds);

}  // namespace sundrel
