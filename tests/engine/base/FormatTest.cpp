// Duration and size texts.
#include "engine/base/Format.h"

#include <clocale>
#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(FormatDuration, ShowsMinutesAndSecondsBelowAnHour) {
    EXPECT_EQ(FormatDuration(0), "0:00");
    EXPECT_EQ(FormatDuration(7), "0:07");
    EXPECT_EQ(FormatDuration(60), "1:00");
    EXPECT_EQ(FormatDuration(3599), "59:59");
}

TEST(FormatDuration, ShowsHoursFromOneHourOn) {
    EXPECT_EQ(FormatDuration(3600), "1:00:00");
    EXPECT_EQ(FormatDuration(3909), "1:05:09");
    EXPECT_EQ(FormatDuration(100 * 3600 + 59), "100:00:59");
}

TEST(FormatDuration, ShowsNegativeCountsWithAMinus) {
    EXPECT_EQ(FormatDuration(-7), "-0:07");
    EXPECT_EQ(FormatDuration(-3909), "-1:05:09");
}

TEST(FormatSize, ShowsBytesBelowOneThousand) {
    EXPECT_EQ(FormatSize(0), "0 B");
    EXPECT_EQ(FormatSize(999), "999 B");
    EXPECT_EQ(FormatSize(-5), "-5 B");
    EXPECT_EQ(FormatSize(std::numeric_limits<int64_t>::min()), "-9223372036854775808 B");
}

TEST(FormatSize, SwitchesUnitAtOneThousandOfTheSmallerUnit) {
    EXPECT_EQ(FormatSize(1000), "1.0 KB");
    EXPECT_EQ(FormatSize(1536), "1.5 KB");
    EXPECT_EQ(FormatSize(1023999), "1000.0 KB");
    EXPECT_EQ(FormatSize(1024000), "0.98 MB");
    EXPECT_EQ(FormatSize(3500000), "3.34 MB");
    EXPECT_EQ(FormatSize(1048575999), "1000.00 MB");
    EXPECT_EQ(FormatSize(1048576000), "0.98 GB");
    EXPECT_EQ(FormatSize(1073741823999), "1000.00 GB");
    EXPECT_EQ(FormatSize(1073741824000), "0.98 TB");
    EXPECT_EQ(FormatSize(std::numeric_limits<int64_t>::max()), "8388608.00 TB");
    // Rounded as printf rounds: 1.0996 up, 1.0498 down, the exact 1.25 half to even.
    EXPECT_EQ(FormatSize(1126), "1.1 KB");
    EXPECT_EQ(FormatSize(1075), "1.0 KB");
    EXPECT_EQ(FormatSize(1280), "1.2 KB");
}

TEST(FormatSize, KeepsTheDecimalPointInACommaLocale) {
    const char* locales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};
    const char* chosen = nullptr;
    for (const char* name : locales) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            chosen = name;
            break;
        }
    }
    if (chosen == nullptr) GTEST_SKIP() << "no locale with a decimal comma is installed";
    const std::string text = FormatSize(1536);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(text, "1.5 KB");
}

TEST(FormatPosition, FollowsTheFileLengthNotThePosition) {
    EXPECT_EQ(FormatPosition(0, 36000), "0:00:00.0");
    EXPECT_EQ(FormatPosition(36000, 36000), "1:00:00.0");
    EXPECT_EQ(FormatPosition(37234, 40000), "1:02:03.4");
    EXPECT_EQ(FormatPosition(0, 35999), "0:00.0");
    EXPECT_EQ(FormatPosition(35999, 35999), "59:59.9");
    EXPECT_EQ(FormatPosition(123, 0), "0:12.3");
}

}  // namespace
}  // namespace corvane
