#include "ui/key_filters.h"

#include <gtest/gtest.h>

#include <string>

namespace tally {
namespace {

FieldState field(std::string text, int selStart = -1, int selLength = 0) {
    const int caret = selStart < 0 ? static_cast<int>(text.size()) : selStart;
    return FieldState{std::move(text), caret, selLength};
}

int wholeKey(const FieldState& f, int key, int limit = 2) {
    return FilterWholeNumberKey(f, key, limit, std::nullopt).key;
}
int decimalKey(const FieldState& f, int key, int limit = 0) {
    return FilterDecimalKey(f, key, limit, std::nullopt).key;
}
KeyFilterResult pasteWhole(const std::string& clipboard, int limit = 2) {
    return FilterWholeNumberKey(field("1"), kKeyPaste, limit, clipboard);
}
int pasteDecimal(const std::string& clipboard) {
    return FilterDecimalKey(field("1"), kKeyPaste, 0, clipboard).key;
}

TEST(WholeNumberFilter, RefusesADigitAtTheLimitUnlessTextIsSelected) {
    EXPECT_EQ(wholeKey(field("1"), '2'), '2');
    EXPECT_EQ(wholeKey(field("12"), '3'), 0);
    EXPECT_EQ(wholeKey(field("12", 1, 1), '3'), '3');
    EXPECT_EQ(wholeKey(field("12345"), '3', 0), '3');  // 0 = no limit
}

TEST(WholeNumberFilter, RefusesEverythingButDigitsAndTheEditingKeys) {
    for (int key :
         std::initializer_list<int>{'.', '-', '+', ' ', '\r', 27, 'a', 'e', 25, 127, 200}) {
        EXPECT_EQ(wholeKey(field(""), key), 0) << key;
    }
    for (int key : std::initializer_list<int>{kKeyBackspace, kKeyCopy, kKeyCut, kKeyUndo}) {
        const auto result = FilterWholeNumberKey(field("12"), key, 2, std::nullopt);
        EXPECT_EQ(result.key, key);
        EXPECT_FALSE(result.selectAll);
        EXPECT_FALSE(result.clipboard);
    }
    const auto selectAll = FilterWholeNumberKey(field("12"), kKeySelectAll, 2, std::nullopt);
    EXPECT_EQ(selectAll.key, kKeySelectAll);
    EXPECT_TRUE(selectAll.selectAll);
}

TEST(WholeNumberFilter, PastesTheWholePartOfAFractionAndLeavesItOnTheClipboard) {
    const auto fraction = pasteWhole("12.7");
    EXPECT_EQ(fraction.key, kKeyPaste);
    EXPECT_EQ(fraction.clipboard, "12");
    EXPECT_EQ(pasteWhole(" 0.25 ").clipboard, "0");
    EXPECT_EQ(pasteWhole("1.55e1").clipboard, "15");
    EXPECT_EQ(pasteWhole("125e-1").clipboard, "12");
    EXPECT_EQ(pasteWhole("+007.5").clipboard, "7");
}

TEST(WholeNumberFilter, PastesAWholeValueUnchangedWhateverItsText) {
    for (const char* text : {"12.0", "12345", "1e3", "1.50e1", "-0", "007"}) {
        const auto result = pasteWhole(text);
        EXPECT_EQ(result.key, kKeyPaste) << text;
        EXPECT_FALSE(result.clipboard) << text;
    }
}

TEST(WholeNumberFilter, WritesAWholePartBeyondThirtyTwoBitsExactly) {
    EXPECT_EQ(pasteWhole("99999999999.5").clipboard, "99999999999");
    EXPECT_EQ(pasteWhole("123456789012345678901234567890.1").clipboard,
              "123456789012345678901234567890");
    // A huge exponent is no reason to build a huge text.
    EXPECT_EQ(pasteWhole("1e999999999999").key, kKeyPaste);
    EXPECT_FALSE(pasteWhole("1e999999999999").clipboard);
}

TEST(WholeNumberFilter, RefusesToPasteNegativeOrNonNumericText) {
    for (const char* text : {"-3", "-0.5", "abc", "", "12abc", "1,5", "."}) {
        EXPECT_EQ(pasteWhole(text).key, 0) << text;
        EXPECT_FALSE(pasteWhole(text).clipboard) << text;
    }
    EXPECT_EQ(FilterWholeNumberKey(field("1"), kKeyPaste, 2, std::nullopt).key, 0);
}

TEST(DecimalFilter, AcceptsOnePointUnlessTheSelectionCoversTheOldOne) {
    EXPECT_EQ(decimalKey(field("15"), '.'), '.');
    EXPECT_EQ(decimalKey(field("1.5"), '.'), 0);
    EXPECT_EQ(decimalKey(field("1.5", 0, 3), '.'), '.');
    EXPECT_EQ(decimalKey(field("1.5", 1, 1), '.'), '.');
    EXPECT_EQ(decimalKey(field("1.5", 0, 1), '.'), 0);
    EXPECT_EQ(decimalKey(field("1.5", 2, 1), '.'), 0);
    EXPECT_EQ(decimalKey(field("12", 1, 0), '.', 2), 0);
}

TEST(DecimalFilter, AcceptsAMinusOnlyAtTheStartAndNotTwice) {
    EXPECT_EQ(decimalKey(field("2", 0), '-'), '-');
    EXPECT_EQ(decimalKey(field("2", 1), '-'), 0);
    EXPECT_EQ(decimalKey(field("-2", 0), '-'), 0);
    EXPECT_EQ(decimalKey(field("-2", 0, 1), '-'), '-');
    EXPECT_EQ(decimalKey(field("12", 0), '-', 2), 0);
    // Digits go anywhere, in front of a minus too.
    EXPECT_EQ(decimalKey(field("-2", 0), '5'), '5');
}

TEST(DecimalFilter, PastesOnlyNonNegativeNumbersAndNeverTouchesTheClipboard) {
    EXPECT_EQ(pasteDecimal("12.75"), kKeyPaste);
    EXPECT_EQ(pasteDecimal("1e-3"), kKeyPaste);
    EXPECT_EQ(pasteDecimal("-3"), 0);
    EXPECT_EQ(pasteDecimal("x"), 0);
    EXPECT_FALSE(FilterDecimalKey(field("1"), kKeyPaste, 0, "12.75").clipboard);
    EXPECT_EQ(FilterDecimalKey(field("1"), kKeyPaste, 0, std::nullopt).key, 0);
}

TEST(DecimalFilter, RefusesEnterBlankAndLetters) {
    for (int key : std::initializer_list<int>{'\r', ' ', 'e', ',', 27})
        EXPECT_EQ(decimalKey(field("1"), key), 0) << key;
}

TEST(ViewOnlyFilter, CopiesTheWholeTextAndSelectsAllButTakesNothingElse) {
    const auto copy = FilterViewOnlyKey(field("1234"), kKeyCopy);
    EXPECT_EQ(copy.key, kKeyCopy);
    EXPECT_EQ(copy.clipboard, "1234");
    EXPECT_TRUE(FilterViewOnlyKey(field("1234"), kKeySelectAll).selectAll);
    for (int key :
         std::initializer_list<int>{kKeyPaste, kKeyBackspace, kKeyCut, kKeyUndo, '1', '\r'}) {
        EXPECT_EQ(FilterViewOnlyKey(field("1234"), key).key, 0) << key;
    }
}

}  // namespace
}  // namespace tally
