// SPDX-License-Identifier: GPL-3.0-or-later
#include "time_text.h"

#include <cmath>
#include <string>
#include <vector>

namespace sundrel {
namespace {

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// Digits, with a fraction when `fraction` allows one: plain decimal, no
// sign, no exponent, no hex, so that nothing but a time reads as one.
std::optional<double> Field(std::string_view text, bool fraction) {
    if (text.empty() || text.size() > 12) return std::nullopt;
    double whole = 0;
    double scale = 0;
    bool digits = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digits = true;
            if (scale == 0) {
                whole = whole * 10 + (c - '0');
            } else {
                whole += (c - '0') * scale;
                scale /= 10;
            }
        } else if ((c == '.' || c == ',') && fraction && scale == 0) {
            scale = 0.1;
        } else {
            return std::nullopt;
        }
    }
    return digits ? std::optional<double>(whole) : std::nullopt;
}

}  // namespace

std::optional<double> ParseTimeText(std::string_view text) {
    text = Trimmed(text);
    std::vector<std::string_view> fields;
    for (std::size_t colon; (colon = text.find(':')) != std::string_view::npos;) {
        fields.push_back(text.substr(0, colon));
        text.remove_prefix(colon + 1);
    }
    fields.push_back(text);
    if (fields.size() > 3) return std::nullopt;
    double seconds = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const bool last = i + 1 == fields.size();
        const std::optional<double> value = Field(fields[i], last);
        // Minutes and seconds after the first field count up to 59.
        if (!value || (i > 0 && *value >= 60)) return std::nullopt;
        seconds = seconds * 60 + *value;
    }
    return std::isfinite(seconds) ? std::optional<double>(seconds) : std::nullopt;
}

}  // namespace sundrel
