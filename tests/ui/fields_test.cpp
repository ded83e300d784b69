#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>
#include <utility>

#include "numbers/number_text.h"
#include "ui/key_filters.h"

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
        {"", 0},   {"   ", 0},  {"-", 0},        {".", 0},   {"--", 0},      {"abc", 0}, {"1e", 1},
        {"1x", 1}, {"2e+x", 2}, {"  2.5x", 2.5}, {"1,5", 1}, {"1.2.3", 1.2}, {"1 2", 1}};
    for (const auto& [text, leading] : partial)
        EXPECT_EQ(read(text), std::tuple(leading, false, std::nullopt)) << text;
    const std::tuple<const char*, double, std::optional<int>> numbers[] = {
        {"1e3", 1000, 1000}, {" 12.5 ", 12.5, 12},     {"\t-.5", -0.5, 0},
        {"+007.", 7, 7},     {"-1e-3", -0.001, 0},     {"2.5", 2.5, 2},
        {"3.5", 3.5, 4},     {"1e400", kMax, {}},      {"-1e400", -kMax, {}},
        {"1e-400", 0, 0},    {"32767.5", 32767.5, {}}, {"-32768", -32768, -32768}};
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
    EXPECT_EQ(ClampAndFormatText("9999999999", 3, 0, 4294967295.0), "4294967295.0");
}

using Keys = std::initializer_list<int>;
enum Kind { W, D, V };  // whole number, decimal, view-only

KeyFilterResult run(Kind kind, FieldState field, int key, int limit = 0,
                    const std::optional<std::string>& clipboard = std::nullopt) {
    if (kind == W) return FilterWholeNumberKey(field, key, limit, clipboard);
    if (kind == D) return FilterDecimalKey(field, key, limit, clipboard);
    return FilterViewOnlyKey(field, key);
}

// A digit at the limit only over a selection (limit 0: none); one point, a second one only
// over a selection covering the first; a minus only at position 0 and not twice.
TEST(KeyFilters, TypedKeysFollowTheLimitThePointAndTheMinusRules) {
    const std::tuple<Kind, const char*, int, int, int, int, int> rows[] = {
        {W, "12", 2, 0, '3', 2, 0},      {W, "12", 1, 1, '3', 2, '3'},
        {W, "12345", 5, 0, '3', 0, '3'}, {D, "12", 2, 0, '3', 2, 0},
        {D, "-2", 0, 0, '5', 0, '5'},    {D, "1.5", 3, 0, '.', 0, 0},
        {D, "1.5", 0, 3, '.', 0, '.'},   {D, "1.5", 1, 1, '.', 0, '.'},
        {D, "1.5", 0, 1, '.', 0, 0},     {D, "1.5", 2, 1, '.', 0, 0},
        {D, "12", 1, 0, '.', 2, 0},      {D, "2", 0, 0, '-', 0, '-'},
        {D, "2", 1, 0, '-', 0, 0},       {D, "-2", 0, 0, '-', 0, 0},
        {D, "-2", 0, 1, '-', 0, '-'},    {D, "12", 0, 0, '-', 2, 0}};
    for (const auto& [kind, text, selStart, selLength, key, limit, passed] : rows) {
        const auto result = run(kind, {text, selStart, selLength}, key, limit);
        EXPECT_EQ(result.key, passed) << text << " key " << key;
        EXPECT_FALSE(result.selectAll || result.clipboard);
    }
}

TEST(KeyFilters, RefuseWhatNoNumberNeedsAndLetTheEditingKeysThrough) {
    for (Kind kind : {W, D, V}) {
        for (int key : Keys{' ', '+', '\r', 27, 'a', 'e', ',', 25, 127, 200})
            EXPECT_EQ(run(kind, {"1234", 2, 0}, key).key, 0) << kind << " key " << key;
    }
    for (Kind kind : {W, D}) {
        for (int key : {kKeyBackspace, kKeyCopy, kKeyCut, kKeyUndo, kKeySelectAll})
            EXPECT_EQ(run(kind, {"1234", 2, 0}, key, 2).key, key) << kind << " key " << key;
    }
    for (int key : Keys{kKeyPaste, kKeyBackspace, kKeyCut, kKeyUndo, '1', '.', '-'})
        EXPECT_EQ(run(V, {"1234", 2, 0}, key).key, 0) << key;
}

// The whole-number field pastes past its typing limit and leaves the whole part of a fraction
// on the clipboard; the decimal field never touches the clipboard.
TEST(KeyFilters, PasteTakesNonNegativeNumbersAndCutsAFractionForWholeNumberFields) {
    const auto expectPaste = [](const char* text, int key, std::optional<std::string> cut) {
        const auto whole = run(W, {"12", 2, 0}, kKeyPaste, 2, text);
        const auto decimal = run(D, {"1", 1, 0}, kKeyPaste, 0, text);
        EXPECT_EQ(std::tuple(whole.key, whole.clipboard, decimal.key, decimal.clipboard),
                  std::tuple(key, cut, key, std::nullopt))
            << text;
    };
    const Texts fractions[] = {{"12.7", "12"},   {" 0.25 ", "0"}, {"1.55e1", "15"},
                               {"125e-1", "12"}, {"+007.5", "7"}, {"1e-3", "0"}};
    for (const auto& [text, wholePart] : fractions)
        expectPaste(text, kKeyPaste, wholePart);
    expectPaste("123456789012345678901234567890.1", kKeyPaste, "123456789012345678901234567890");
    for (const char* text : {"12.0", "12345", "1e3", "1.50e1", "-0", "1e9300000000000000000"})
        expectPaste(text, kKeyPaste, std::nullopt);
    for (const char* text : {"-3", "-0.5", "abc", "", "12abc", "1,5", "."})
        expectPaste(text, 0, std::nullopt);
    EXPECT_EQ(run(W, {"1", 1, 0}, kKeyPaste, 2).key, 0);  // nothing on the clipboard
    EXPECT_EQ(run(D, {"1", 1, 0}, kKeyPaste).key, 0);
}

}  // namespace
}  // namespace tally
