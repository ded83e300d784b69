// The number rules: leading numbers, whole numbers, display formats and the
// normalisation of a field on leaving.
#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "numbers/number_text.h"

namespace tally {
namespace {

constexpr double kMax = std::numeric_limits<double>::max();
using Texts = std::pair<const char*, const char*>;

// The leading number (0 when none, saturated when out of range) and, only when the whole text
// is one number, the 16-bit whole number (ties to even; none when it does not fit).
TEST(NumberText, ReadsLeadingNumbersAndWholeNumbersWithoutEverFailing) {
    const auto read = [](const char* text) {
        return std::tuple(LeadingNumber(text), IsNumeric(text), ToWholeNumber16(text));
    };
    const std::pair<const char*, double> partial[] = {
        {"", 0},     {"-", 0},        {".", 0},   {"abc", 0},     {"1e", 1},
        {"2e+x", 2}, {"  2.5x", 2.5}, {"1,5", 1}, {"1.2.3", 1.2}, {"1 2", 1}};
    for (const auto& [text, leading] : partial)
        EXPECT_EQ(read(text), std::tuple(leading, false, std::nullopt)) << text;
    const std::tuple<const char*, double, std::optional<int>> numbers[] = {
        {"1e3", 1000, 1000},      {" 12.5 ", 12.5, 12},      {"\t-.5", -0.5, 0},  {"+007.", 7, 7},
        {"2.5", 2.5, 2},          {"3.5", 3.5, 4},           {"1e400", kMax, {}}, {"1e-400", 0, 0},
        {"32767.5", 32767.5, {}}, {"-32768", -32768, -32768}};
    for (const auto& [text, leading, whole] : numbers)
        EXPECT_EQ(read(text), std::tuple(leading, true, whole)) << text;
    EXPECT_EQ(ToWholeNumber16("32767.4"), 32767);
    EXPECT_EQ(LeadingNumber("1e9300000000000000000"), kMax);  // exponent past 64 bits
    EXPECT_EQ(LeadingNumber(std::string(400, '9')), kMax);
    // Hundreds of zeros after the point make a tiny number, not a huge one.
    EXPECT_EQ(LeadingNumber("0." + std::string(400, '0') + "1e800"), kMax);
}

TEST(FormatDecimal, ShowsOneToMaxDecimalsRoundedUnsignedZeroAndNoExponent) {
    const std::pair<double, const char*> rows[] = {
        {-3.14159, "-3.1416"}, {0.00004, "0.0"}, {-0.00004, "0.0"},
        {1.0 / 3.0, "0.3333"}, {2, "2.0"},       {1e-300, "0.0"}};
    for (const auto& [value, text] : rows)
        EXPECT_EQ(FormatDecimal(value, 1, 4), text) << text;
    EXPECT_EQ(FormatDecimal(1.25, 1, 3), "1.25");
    EXPECT_EQ(FormatDecimal(4294967295.0 * 10000.0, 1, 4), "42949672950000.0");
    EXPECT_EQ(FormatDecimal(kMax, 1, 4).substr(309), ".0");  // all 309 digits, no exponent
}

TEST(ClampAndFormatText, NormalisesMultipliersAndThePresetAsTheFieldsDoOnLeaving) {
    const Texts multiplier[] = {{"", "0.0"},           {"-", "0.0"},         {".", "0.0"},
                                {"1.23456", "1.2346"}, {"15000", "10000.0"}, {"-12345", "-10000.0"},
                                {"1e400", "10000.0"}};
    for (const auto& [text, shown] : multiplier)
        EXPECT_EQ(ClampAndFormatText(text, 4, -10000, 10000), shown) << text;
    const Texts preset[] = {{"--", "0.0"}, {"-12345", "0.0"},   {"123", "123.0"},
                            {"7.", "7.0"}, {"12.5000", "12.5"}, {"1.23456", "1.235"}};
    for (const auto& [text, shown] : preset)
        EXPECT_EQ(ClampAndFormatText(text, 3, 0, 4294967295.0), shown) << text;
}

}  // namespace
}  // namespace tally
