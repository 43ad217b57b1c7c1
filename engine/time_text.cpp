// SPDX-License-Identifier: GPL-3.0-or-later
#include "time_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace sundrel {

namespace {

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits, then the separator and digits or nothing; read whatever the
// locale, so that a comma typed in a German desktop means what it says.
std::optional<double> UnsignedDecimal(std::string_view text, char separator) {
    const std::size_t point = text.find(separator);
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (!AllDigits(whole) || (point != std::string_view::npos && !AllDigits(fraction))) return std::nullopt;
    std::string plain(whole);
    if (!fraction.empty()) plain.append(".").append(fraction);
    double value = 0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> ParseTimeText(std::string_view text, char separator) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return UnsignedDecimal(text, separator);
    const std::string_view minutesText = text.substr(0, colon), secondsText = text.substr(colon + 1);
    // Two digits of seconds, as a clock shows them: "1:2" is a typing slip.
    const std::size_t point = secondsText.find(separator);
    if (!AllDigits(minutesText) || secondsText.substr(0, point).size() != 2) return std::nullopt;
    const std::optional<double> minutes = UnsignedDecimal(minutesText, separator);
    const std::optional<double> seconds = UnsignedDecimal(secondsText, separator);
    if (!minutes || !seconds || *seconds >= 60) return std::nullopt;
    const double total = *minutes * 60 + *seconds;
    if (!std::isfinite(total)) return std::nullopt;
    return total;
}

std::string HundredthsText(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    return text;
}

}  // namespace sundrel
