// SPDX-License-Identifier: GPL-3.0-or-later
#include "conventions.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

// Every number here is parsed and printed with <charconv>, which ignores the
// C library's locale, and the separator is swapped by hand. That way a text
// written under one separator reads back the same whatever setlocale did.

namespace sundrel {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Checks the plain decimal form and spells it the way std::from_chars reads
// it: '.' as separator, no '+', at least one digit on each side of the '.'.
std::optional<std::string> PlainDecimal(std::string_view text, char separator) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);

    std::string out;
    std::size_t i = 0;
    const std::size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') out += '-';
        ++i;
    }
    std::string whole, fraction;
    while (i < n && IsDigit(text[i])) whole += text[i++];
    if (i < n && text[i] == separator) {
        ++i;
        while (i < n && IsDigit(text[i])) fraction += text[i++];
    }
    if (whole.empty() && fraction.empty()) return std::nullopt;
    out += whole.empty() ? "0" : whole;
    if (!fraction.empty()) out += '.' + fraction;

    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        out += 'e';
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            if (text[i] == '-') out += '-';
            ++i;
        }
        const std::size_t digitsAt = i;
        while (i < n && IsDigit(text[i])) out += text[i++];
        if (i == digitsAt) return std::nullopt;
    }
    if (i != n) return std::nullopt;
    return out;
}

// A value out of the type's range is not a number we can work with.
template <typename T>
std::optional<T> Parse(std::string_view text, char separator) {
    const auto plain = PlainDecimal(text, separator);
    if (!plain) return std::nullopt;
    T value{};
    const char* end = plain->data() + plain->size();
    const auto [ptr, ec] = std::from_chars(plain->data(), end, value, std::chars_format::general);
    if (ec != std::errc{} || ptr != end) return std::nullopt;
    return value;
}

}  // namespace

char DecimalSeparator() {
    const std::lconv* conv = std::localeconv();
    // A separator of more than one byte cannot be swapped in; fall back.
    if (conv && conv->decimal_point && conv->decimal_point[0] != '\0' && conv->decimal_point[1] == '\0')
        return conv->decimal_point[0];
    return '.';
}

std::optional<std::int64_t> RoundHalfEven(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    // value - floor(value) is exact, so the halfway test is exact too.
    double rounded = std::floor(value);
    const double fraction = value - rounded;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0)) rounded += 1.0;
    constexpr double limit = 9223372036854775808.0;  // 2^63
    if (rounded < -limit || rounded >= limit) return std::nullopt;
    return static_cast<std::int64_t>(rounded);
}

std::optional<double> TextToNumber(std::string_view text, char separator) { return Parse<double>(text, separator); }

bool IsNumeric(std::string_view text, char separator) { return TextToNumber(text, separator).has_value(); }

std::string NumberToText(double value, char separator) {
    if (value == 0) return "0";
    if (!std::isfinite(value)) return std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf");

    // d.dddddddddddddde±x: rounded once, correctly, to 15 significant digits.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    const std::string_view sci(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const bool negative = sci.front() == '-';
    const std::size_t ePos = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, ePos))
        if (IsDigit(c)) digits += c;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string_view expText = sci.substr(ePos + 1);
    if (expText.front() == '+') expText.remove_prefix(1);
    int exponent = 0;
    std::from_chars(expText.data(), expText.data() + expText.size(), exponent);

    std::string out = negative ? "-" : "";
    if (exponent < -4 || exponent >= 15) {
        out += digits[0];
        if (digits.size() > 1) out += separator + digits.substr(1);
        out += exponent < 0 ? "E-" : "E+";
        const int magnitude = std::abs(exponent);
        if (magnitude < 10) out += '0';
        out += std::to_string(magnitude);
    } else if (exponent >= 0) {
        const std::size_t wholeDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= wholeDigits) {
            out += digits + std::string(wholeDigits - digits.size(), '0');
        } else {
            out += digits.substr(0, wholeDigits) + separator + digits.substr(wholeDigits);
        }
    } else {
        out += '0';
        out += separator;
        out += std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    return out;
}

std::optional<std::int64_t> KbTextToBytes(std::string_view text, char separator) {
    const auto kb = Parse<float>(text, separator);
    if (!kb) return std::nullopt;
    // Scaling a float by 1024 is exact in double, so only the rounding rounds.
    return RoundHalfEven(static_cast<double>(*kb) * 1024.0);
}

std::string BytesToKbText(std::int64_t bytes, char separator) {
    // Whole integers throughout: no double can hold every 64-bit size. A
    // value halfway between two tenths rounds away from zero.
    const bool negative = bytes < 0;
    const std::uint64_t magnitude =
        negative ? std::uint64_t(0) - static_cast<std::uint64_t>(bytes) : static_cast<std::uint64_t>(bytes);
    std::uint64_t whole = magnitude / 1024;
    std::uint64_t tenth = ((magnitude % 1024) * 10 + 512) / 1024;
    if (tenth == 10) {
        whole += 1;
        tenth = 0;
    }
    std::string out = (negative && (whole != 0 || tenth != 0)) ? "-" : "";
    out += std::to_string(whole);
    out += separator;
    if (tenth != 0) out += static_cast<char>('0' + tenth);
    return out;
}

std::string WholeSecondsText(double seconds) {
    const auto whole = RoundHalfEven(seconds);
    if (!whole) return std::string();
    // The blank stands where a minus sign would go.
    return (*whole < 0 ? "" : " ") + std::to_string(*whole) + "秒";
}

}  // namespace sundrel
