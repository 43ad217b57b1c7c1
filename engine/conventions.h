// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The number and text conventions every cut computes with. Sizes are in KB
// of 1024 bytes; numbers are written with the user's decimal separator.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sundrel {

// The decimal separator of the current LC_NUMERIC locale.
char DecimalSeparator();

// Nearest whole number, halves to even; nothing when it does not fit 64 bits.
std::optional<std::int64_t> RoundHalfEven(double value);

// A plain decimal number with optional sign, separator and exponent, blanks
// around it allowed. Anything else (letters, "inf", hex) is not a number.
std::optional<double> TextToNumber(std::string_view text, char separator = DecimalSeparator());
bool IsNumeric(std::string_view text, char separator = DecimalSeparator());

// 15 significant digits, no trailing zeros, no trailing separator; exponent
// form only for very large or very small values; zero is "0".
std::string NumberToText(double value, char separator = DecimalSeparator());

// A size in KB read as single precision, times 1024, rounded halves to even.
// Nothing when the text is not a number or the bytes cannot be represented.
std::optional<std::int64_t> KbTextToBytes(std::string_view text, char separator = DecimalSeparator());

// bytes / 1024 with the format "0.#": one decimal at most, and a whole value
// keeps its separator (1,048,576 bytes give "1024.").
std::string BytesToKbText(std::int64_t bytes, char separator = DecimalSeparator());

// One blank (the place of the sign), the whole seconds rounded halves to
// even, and "秒": 12 seconds give " 12秒".
std::string WholeSecondsText(double seconds);

}  // namespace sundrel
