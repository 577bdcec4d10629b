// The user's decimal separator as the programs read it at start-up: which of
// LC_ALL, LC_NUMERIC and LANG decides, what a missing or unusable locale
// gives, and that reading it changes neither the process's C locale nor the
// current separator.
#include "tests/host/LocaleEnvironment.h"

#include "platform/text/Numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

struct Case {
    const char* all;
    const char* numeric;
    const char* lang;
    char separator;
};

} // namespace

TEST(UserLocaleTest, TheEnvironmentsNumericLocaleGivesTheSeparator) {
    testsupport::LocaleEnvironment environment;
    ASSERT_TRUE(environment.Ready()) << "the test locales were not made (package locales)";
    const Case cases[] = {
        {"", "", "ru_RU.UTF-8", ','},
        {"", "", "en_US.UTF-8", '.'},
        {"", "ru_RU.UTF-8", "en_US.UTF-8", ','},          // LC_NUMERIC before LANG
        {"", "en_US.UTF-8", "ru_RU.UTF-8", '.'},
        {"ru_RU.UTF-8", "en_US.UTF-8", "en_US.UTF-8", ','}, // LC_ALL before both
        {"en_US.UTF-8", "ru_RU.UTF-8", "ru_RU.UTF-8", '.'},
        {"", "", "", '.'},                                // nothing set: "C"
        {"C", "", "ru_RU.UTF-8", '.'},
        {"xx_XX.UTF-8", "", "ru_RU.UTF-8", '.'},          // not installed
    };
    for (const Case& c : cases) {
        environment.Set("LC_ALL", c.all);
        environment.Set("LC_NUMERIC", c.numeric);
        environment.Set("LANG", c.lang);
        EXPECT_EQ(text::UserDecimalSeparator(), c.separator)
            << "LC_ALL=" << c.all << " LC_NUMERIC=" << c.numeric << " LANG=" << c.lang;
    }
}

TEST(UserLocaleTest, ReadingItLeavesTheProcessLocaleAndTheSeparatorAlone) {
    testsupport::LocaleEnvironment environment;
    ASSERT_TRUE(environment.Ready());
    environment.Set("LC_ALL", "ru_RU.UTF-8");
    const std::string before = std::setlocale(LC_ALL, nullptr);
    const char separator = text::DecimalSeparator();
    EXPECT_EQ(text::UserDecimalSeparator(), ',');
    EXPECT_EQ(std::string(std::setlocale(LC_ALL, nullptr)), before);
    EXPECT_EQ(text::DecimalSeparator(), separator);
}
