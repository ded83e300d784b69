#include "ui/number_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace tally {
namespace {

TEST(LeadingNumber, ReadsTheNumberAtTheStartAndStopsAtTheFirstForeignCharacter) {
    EXPECT_EQ(LeadingNumber(""), 0.0);
    EXPECT_EQ(LeadingNumber("-"), 0.0);
    EXPECT_EQ(LeadingNumber("."), 0.0);
    EXPECT_EQ(LeadingNumber("--"), 0.0);
    EXPECT_EQ(LeadingNumber("abc"), 0.0);
    EXPECT_EQ(LeadingNumber("1e3"), 1000.0);
    EXPECT_EQ(LeadingNumber("1e"), 1.0);
    EXPECT_EQ(LeadingNumber("2e+x"), 2.0);
    EXPECT_EQ(LeadingNumber("  2.5x"), 2.5);
    EXPECT_EQ(LeadingNumber("\t-.5"), -0.5);
    EXPECT_EQ(LeadingNumber("+7."), 7.0);
    EXPECT_EQ(LeadingNumber("1.2.3"), 1.2);
}

TEST(LeadingNumber, NeverTakesACommaAsDecimalPoint) {
    EXPECT_EQ(LeadingNumber("1,5"), 1.0);
    EXPECT_FALSE(IsNumeric("1,5"));
}

TEST(LeadingNumber, SaturatesOutOfRangeValuesByTheirMagnitude) {
    const double max = std::numeric_limits<double>::max();
    EXPECT_EQ(LeadingNumber("1e400"), max);
    EXPECT_EQ(LeadingNumber("-1e400"), -max);
    EXPECT_EQ(LeadingNumber("1e-400"), 0.0);
    EXPECT_EQ(LeadingNumber(std::string(400, '9')), max);
    // Hundreds of zeros after the point make a tiny number, not a huge one.
    EXPECT_EQ(LeadingNumber("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(LeadingNumber("0." + std::string(400, '0') + "1e800"), max);
    EXPECT_EQ(LeadingNumber("1e99999999999999999999"), max);
}

TEST(IsNumeric, AcceptsOneWholeNumberWithBlanksAroundOnly) {
    EXPECT_TRUE(IsNumeric(" 12.5 "));
    EXPECT_TRUE(IsNumeric("-1e-3"));
    EXPECT_TRUE(IsNumeric("5."));
    EXPECT_FALSE(IsNumeric(""));
    EXPECT_FALSE(IsNumeric("   "));
    EXPECT_FALSE(IsNumeric("-"));
    EXPECT_FALSE(IsNumeric("."));
    EXPECT_FALSE(IsNumeric("1e"));
    EXPECT_FALSE(IsNumeric("  2.5x"));
    EXPECT_FALSE(IsNumeric("1 2"));
}

TEST(FormatDecimal, ShowsOneToMaxDecimalsRoundedWithoutExponent) {
    EXPECT_EQ(FormatDecimal(-3.14159, 1, 4), "-3.1416");
    EXPECT_EQ(FormatDecimal(0.00004, 1, 4), "0.0");
    EXPECT_EQ(FormatDecimal(-0.00004, 1, 4), "0.0");
    EXPECT_EQ(FormatDecimal(1.0 / 3.0, 1, 4), "0.3333");
    EXPECT_EQ(FormatDecimal(2, 1, 4), "2.0");
    EXPECT_EQ(FormatDecimal(1.25, 1, 3), "1.25");
    EXPECT_EQ(FormatDecimal(4294967295.0 * 10000.0, 1, 4), "42949672950000.0");
    EXPECT_EQ(FormatDecimal(1e20, 1, 4), "100000000000000000000.0");
    const std::string huge = FormatDecimal(std::numeric_limits<double>::max(), 1, 4);
    EXPECT_EQ(huge.find('e'), std::string::npos);
    EXPECT_EQ(huge.substr(huge.size() - 2), ".0");
}

TEST(ClampAndFormatText, NormalisesMultipliersAndPresetLikeTheFieldsDoOnLeaving) {
    EXPECT_EQ(ClampAndFormatText("", 4, -10000, 10000), "0.0");
    EXPECT_EQ(ClampAndFormatText("-", 4, -10000, 10000), "0.0");
    EXPECT_EQ(ClampAndFormatText(".", 4, -10000, 10000), "0.0");
    EXPECT_EQ(ClampAndFormatText("1.23456", 4, -10000, 10000), "1.2346");
    EXPECT_EQ(ClampAndFormatText("15000", 4, -10000, 10000), "10000.0");
    EXPECT_EQ(ClampAndFormatText("-12345", 4, -10000, 10000), "-10000.0");
    EXPECT_EQ(ClampAndFormatText("1e400", 4, -10000, 10000), "10000.0");
    EXPECT_EQ(ClampAndFormatText("9999999999", 3, 0, 4294967295.0), "4294967295.0");
    EXPECT_EQ(ClampAndFormatText("--", 3, 0, 4294967295.0), "0.0");
    EXPECT_EQ(ClampAndFormatText("123", 3, 0, 4294967295.0), "123.0");
}

TEST(ClampToBounds, ClampsNothingWhenTheBoundsAreReversed) {
    EXPECT_EQ(ClampToBounds(50, 10, 0), 50);
    EXPECT_EQ(ClampToBounds(50, 0, 10), 10);
}

TEST(ToWholeNumber16, RoundsTiesToEvenAndRejectsWhatDoesNotFit) {
    EXPECT_EQ(ToWholeNumber16("2.5"), 2);
    EXPECT_EQ(ToWholeNumber16("3.5"), 4);
    EXPECT_EQ(ToWholeNumber16("-0.5"), 0);
    EXPECT_EQ(ToWholeNumber16(" 1 "), 1);
    EXPECT_EQ(ToWholeNumber16("32767.4"), 32767);
    EXPECT_EQ(ToWholeNumber16("32767.5"), std::nullopt);
    EXPECT_EQ(ToWholeNumber16("-32768"), -32768);
    EXPECT_EQ(ToWholeNumber16("1e400"), std::nullopt);
    EXPECT_EQ(ToWholeNumber16(""), std::nullopt);
    EXPECT_EQ(ToWholeNumber16("abc"), std::nullopt);
    EXPECT_EQ(ToWholeNumber16("1x"), std::nullopt);
}

}  // namespace
}  // namespace tally
