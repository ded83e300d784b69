#include "ui/models/key_filters.h"

#include <string_view>

#include "numbers/number_text.h"

namespace tally {
namespace {

bool isDigit(int c) {
    return c >= '0' && c <= '9';
}
bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// With a selection the typed key replaces it, so the limit does not stop it.
bool limitReached(const FieldState& field, int lengthLimit) {
    return lengthLimit > 0 && field.text.size() >= static_cast<std::size_t>(lengthLimit) &&
           field.selLength == 0;
}

KeyFilterResult let(int key) {
    return KeyFilterResult{key, false, std::nullopt};
}
KeyFilterResult digitKey(const FieldState& field, int key, int lengthLimit) {
    return let(limitReached(field, lengthLimit) ? kKeyDiscarded : key);
}

// Keys every numeric field lets through: Backspace, select all, copy, cut, undo.
std::optional<KeyFilterResult> editingKey(int key) {
    switch (key) {
        case kKeyBackspace:
        case kKeyCopy:
        case kKeyCut:
        case kKeyUndo:
            return let(key);
        case kKeySelectAll:
            return KeyFilterResult{key, true, std::nullopt};
        default:
            return std::nullopt;
    }
}

// Saturating, so a thousand-digit exponent cannot overflow.
long long exponentValue(std::string_view digits, bool negative) {
    long long value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > 1000000000LL) break;
    }
    return negative ? -value : value;
}

}  // namespace

std::optional<WholePart> NonNegativeWholePart(const std::string& text) {
    if (!IsNumeric(text)) return std::nullopt;
    std::string_view t(text);
    while (!t.empty() && isBlank(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && isBlank(t.back()))
        t.remove_suffix(1);

    bool negative = false;
    if (t.front() == '+' || t.front() == '-') {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    std::string mantissa;  // every digit, the point removed
    long long pointAt = -1;
    std::size_t i = 0;
    for (; i < t.size() && (isDigit(t[i]) || t[i] == '.'); ++i) {
        if (t[i] == '.') {
            pointAt = static_cast<long long>(mantissa.size());
        } else {
            mantissa += t[i];
        }
    }
    if (pointAt < 0) pointAt = static_cast<long long>(mantissa.size());
    if (i < t.size()) {  // exponent; the numeric test has checked its form
        std::string_view e = t.substr(i + 1);
        bool eNegative = false;
        if (e.front() == '+' || e.front() == '-') {
            eNegative = e.front() == '-';
            e.remove_prefix(1);
        }
        pointAt += exponentValue(e, eNegative);
    }

    const bool zero = mantissa.find_first_not_of('0') == std::string::npos;
    if (negative && !zero) return std::nullopt;

    WholePart whole;
    const long long size = static_cast<long long>(mantissa.size());
    const std::size_t cut = static_cast<std::size_t>(pointAt < 0 ? 0 : pointAt);
    whole.hadFraction = pointAt < size && mantissa.find_first_not_of('0', cut) != std::string::npos;
    if (whole.hadFraction) {
        // Only here: without a fraction the digits could be as long as the exponent says.
        std::string digits = mantissa.substr(0, cut);
        const auto first = digits.find_first_not_of('0');
        whole.digits = first == std::string::npos ? "0" : digits.substr(first);
    }
    return whole;
}

KeyFilterResult FilterWholeNumberKey(const FieldState& field, int key, int lengthLimit,
                                     const std::optional<std::string>& clipboard) {
    if (isDigit(key)) return digitKey(field, key, lengthLimit);
    if (key == kKeyPaste) {
        // The length limit holds for typing only.
        if (!clipboard) return {};
        const auto whole = NonNegativeWholePart(*clipboard);
        if (!whole) return {};
        KeyFilterResult result = let(key);
        if (whole->hadFraction) result.clipboard = whole->digits;
        return result;
    }
    if (auto editing = editingKey(key)) return *editing;
    return {};
}

KeyFilterResult FilterDecimalKey(const FieldState& field, int key, int lengthLimit,
                                 const std::optional<std::string>& clipboard) {
    if (isDigit(key)) return digitKey(field, key, lengthLimit);
    if (key == '.') {
        if (limitReached(field, lengthLimit)) return {};
        const auto point = field.text.find('.');
        if (point != std::string::npos) {
            // A second point only by typing over the first.
            const int p = static_cast<int>(point) + 1;
            if (!(field.selStart < p && p <= field.selStart + field.selLength)) return {};
        }
        return let(key);
    }
    if (key == '-') {
        if (field.selStart != 0 || limitReached(field, lengthLimit)) return {};
        if (!field.text.empty() && field.text.front() == '-' && field.selLength == 0) return {};
        return let(key);
    }
    if (key == kKeyPaste) {
        if (!clipboard || !NonNegativeWholePart(*clipboard)) return {};
        return let(key);
    }
    if (auto editing = editingKey(key)) return *editing;
    return {};
}

KeyFilterResult FilterViewOnlyKey(const FieldState& field, int key) {
    if (key == kKeySelectAll) return {key, true, std::nullopt};
    // The field's own copy then replaces this with the selection, if there is one.
    if (key == kKeyCopy) return {key, false, field.text};
    return {};
}

}  // namespace tally
