// The key filters of the entry fields, without widgets.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "ui/models/key_filters.h"

namespace tally {
namespace {

using Texts = std::pair<const char*, const char*>;
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
