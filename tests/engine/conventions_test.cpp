// SPDX-License-Identifier: GPL-3.0-or-later
#include "conventions.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

using namespace sundrel;

TEST(KbTextToBytes, ReadsSinglePrecisionTimes1024) {
    EXPECT_EQ(KbTextToBytes("1000", '.'), 1'024'000);
    EXPECT_EQ(KbTextToBytes("976.56", '.'), 999'997);
    EXPECT_EQ(KbTextToBytes("195.312", '.'), 199'999);
    EXPECT_EQ(KbTextToBytes("1,5", ','), 1536);
    EXPECT_EQ(KbTextToBytes("-200", '.'), -204'800);
    // In double this would be 8,589,934,899 bytes; single precision drops the .3.
    EXPECT_EQ(KbTextToBytes("8388608.3", '.'), 8'589'934'592);
}

TEST(KbTextToBytes, RoundsHalvesToEven) {
    EXPECT_EQ(KbTextToBytes("0.00048828125", '.'), 0);  // 0.5 bytes
    EXPECT_EQ(KbTextToBytes("0.00146484375", '.'), 2);  // 1.5 bytes
    EXPECT_EQ(KbTextToBytes("0.00244140625", '.'), 2);  // 2.5 bytes
    EXPECT_EQ(KbTextToBytes("-0.00146484375", '.'), -2);
}

TEST(KbTextToBytes, RefusesWhatCannotBeRepresented) {
    EXPECT_EQ(KbTextToBytes("1e16", '.'), std::nullopt);  // past 64 bits once in bytes
    EXPECT_EQ(KbTextToBytes("1e39", '.'), std::nullopt);  // past single precision
    EXPECT_EQ(KbTextToBytes("abc", '.'), std::nullopt);
    EXPECT_EQ(KbTextToBytes("1.5", ','), std::nullopt);
    EXPECT_EQ(KbTextToBytes("4294967296", '.'), 4'398'046'511'104);  // 2^32 KB
}

TEST(BytesToKbText, FormatsOneDecimalAndKeepsTheSeparator) {
    EXPECT_EQ(BytesToKbText(1'048'576, '.'), "1024.");
    EXPECT_EQ(BytesToKbText(1'048'576, ','), "1024,");
    EXPECT_EQ(BytesToKbText(1536, '.'), "1.5");
    EXPECT_EQ(BytesToKbText(1536, ','), "1,5");
    EXPECT_EQ(BytesToKbText(1'234'567, '.'), "1205.6");
    EXPECT_EQ(BytesToKbText(2048, '.'), "2.");
    EXPECT_EQ(BytesToKbText(0, '.'), "0.");
    EXPECT_EQ(BytesToKbText(10'000'000, '.'), "9765.6");
    EXPECT_EQ(BytesToKbText(1023 * 1024 + 1000, '.'), "1024.");  // 1023.98 carries into the whole
    EXPECT_EQ(BytesToKbText(1280, '.'), "1.3");                  // 1.25: halves go away from zero
    EXPECT_EQ(BytesToKbText(-1536, '.'), "-1.5");
    EXPECT_EQ(BytesToKbText(-10, '.'), "0.");
    EXPECT_EQ(BytesToKbText(std::numeric_limits<std::int64_t>::min(), '.'), "-9007199254740992.");
    EXPECT_EQ(BytesToKbText(3LL << 30, '.'), "3145728.");
}

TEST(NumberToText, FifteenSignificantDigitsWithoutTrailingZeros) {
    EXPECT_EQ(NumberToText(10.0 / 100 * 9765.6, '.'), "976.56");
    EXPECT_EQ(NumberToText(0.1 + 0.2, '.'), "0.3");
    EXPECT_EQ(NumberToText(2.0 / 3, '.'), "0.666666666666667");
    EXPECT_EQ(NumberToText(100, '.'), "100");
    EXPECT_EQ(NumberToText(123456789012345.0, '.'), "123456789012345");
    EXPECT_EQ(NumberToText(999999999999999.9, '.'), "1E+15");  // rounding carries into a new digit
    EXPECT_EQ(NumberToText(-2.5, '.'), "-2.5");
    EXPECT_EQ(NumberToText(1.5, ','), "1,5");
    EXPECT_EQ(NumberToText(0.0001, '.'), "0.0001");
    EXPECT_EQ(NumberToText(0.000123, ','), "0,000123");
}

TEST(NumberToText, ExponentFormOnlyForVeryLargeOrSmall) {
    EXPECT_EQ(NumberToText(1e-5, '.'), "1E-05");
    EXPECT_EQ(NumberToText(-1.5e-7, ','), "-1,5E-07");
    EXPECT_EQ(NumberToText(1e15, '.'), "1E+15");
    EXPECT_EQ(NumberToText(1234567890123456789.0, '.'), "1.23456789012346E+18");
    EXPECT_EQ(NumberToText(1e300, '.'), "1E+300");
}

TEST(NumberToText, ZeroIsJustZero) {
    EXPECT_EQ(NumberToText(0.0, '.'), "0");
    EXPECT_EQ(NumberToText(-0.0, '.'), "0");
}

TEST(TextToNumber, ReadsPlainDecimalsOnly) {
    EXPECT_EQ(TextToNumber(" 12.5\t", '.'), 12.5);
    EXPECT_EQ(TextToNumber("+3", '.'), 3.0);
    EXPECT_EQ(TextToNumber("-1.5e2", '.'), -150.0);
    EXPECT_EQ(TextToNumber("1E-05", '.'), 1e-5);
    EXPECT_EQ(TextToNumber("1024.", '.'), 1024.0);
    EXPECT_EQ(TextToNumber(".5", '.'), 0.5);
    EXPECT_EQ(TextToNumber("9765,6", ','), 9765.6);
    for (const char* text : {"", " ", "abc", "12a", "1 2", "inf", "nan", "0x10", "1e", "e5", "-", ".", "1e400"})
        EXPECT_FALSE(IsNumeric(text, '.')) << '"' << text << '"';
    EXPECT_FALSE(IsNumeric("1.5", ','));
    EXPECT_FALSE(IsNumeric("1,5", '.'));
}

TEST(TextToNumber, ReadsBackWhatNumberToTextWrote) {
    for (double value : {976.56, 195.312, -0.25, 1e-5, 1.23456789012345e18, 12345.6789})
        for (char separator : {'.', ','}) EXPECT_EQ(TextToNumber(NumberToText(value, separator), separator), value);
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(-3.5), -4);
    EXPECT_EQ(RoundHalfEven(2.4999999), 2);
    EXPECT_EQ(RoundHalfEven(-9223372036854775808.0), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(RoundHalfEven(9223372036854775808.0), std::nullopt);
    EXPECT_EQ(RoundHalfEven(std::nan("")), std::nullopt);
    EXPECT_EQ(RoundHalfEven(INFINITY), std::nullopt);
}

TEST(WholeSecondsText, BlankDigitsAndSeconds) {
    EXPECT_EQ(WholeSecondsText(12), " 12秒");
    EXPECT_EQ(WholeSecondsText(12.5), " 12秒");
    EXPECT_EQ(WholeSecondsText(13.5), " 14秒");
    EXPECT_EQ(WholeSecondsText(59.4), " 59秒");
    EXPECT_EQ(WholeSecondsText(0), " 0秒");
    EXPECT_EQ(WholeSecondsText(40000), " 40000秒");  // past 16 bits
}

// Restores the "C" numeric locale however the test ends.
struct NumericLocale {
    explicit NumericLocale(const char* name) : active(std::setlocale(LC_NUMERIC, name) != nullptr) {}
    ~NumericLocale() { std::setlocale(LC_NUMERIC, "C"); }
    bool active;
};

TEST(DecimalSeparator, FollowsLcNumeric) {
    {
        NumericLocale german("de_DE.UTF-8");
        if (!german.active) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
        EXPECT_EQ(DecimalSeparator(), ',');
        EXPECT_EQ(NumberToText(976.56), "976,56");
        EXPECT_EQ(BytesToKbText(10'000'000), "9765,6");
        EXPECT_EQ(BytesToKbText(2048), "2,");
        EXPECT_EQ(KbTextToBytes("976,56"), 999'997);
        EXPECT_EQ(TextToNumber("9765,6"), 9765.6);
        EXPECT_FALSE(IsNumeric("1.5"));
    }
    EXPECT_EQ(DecimalSeparator(), '.');
    EXPECT_EQ(NumberToText(976.56), "976.56");
}
