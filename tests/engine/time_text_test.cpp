// SPDX-License-Identifier: GPL-3.0-or-later
#include "time_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

using namespace sundrel;

namespace {

struct Typed {
    std::string_view text;
    std::optional<double> seconds;
};

TEST(TimeText, SecondsOrMinutesAndSecondsAndNothingElse) {
    const Typed cases[] = {
        {"62.43", 62.43},
        {"62", 62},
        {"0", 0},
        {"1:02.43", 62.43},
        {"1:02", 62},
        {"0:00", 0},
        {"125:59.99", 7559.99},
        {"1:60", {}},
        {"1:2", {}},
        {"1:002", {}},
        {"-5", {}},
        {"+5", {}},
        {" 5", {}},
        {"5 ", {}},
        {"5s", {}},
        {"nan", {}},
        {"inf", {}},
        {"1e3", {}},
        {"", {}},
        {".5", {}},
        {"5.", {}},
        {"1:", {}},
        {":05", {}},
        {"1:02:03", {}},
        {"1.5:00", {}},
        {"0x10", {}},
        {"5,5", {}},
        {std::string_view("5\0", 2), {}},
    };
    for (const Typed& typed : cases) {
        const std::optional<double> seconds = ParseTimeText(typed.text);
        ASSERT_EQ(seconds.has_value(), typed.seconds.has_value()) << typed.text;
        if (seconds) {
            EXPECT_DOUBLE_EQ(*seconds, *typed.seconds) << typed.text;
        }
    }
    EXPECT_EQ(ParseTimeText("1:02,5", ','), 62.5);
    EXPECT_EQ(ParseTimeText(std::string(400, '9')), std::nullopt) << "too large for a double";
}

}  // namespace
