#include "ui/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tally {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the number at the start of text (after `start`), 0 when there is none.
// A mantissa needs at least one digit; an exponent counts only with a digit.
std::size_t scanNumber(std::string_view text, std::size_t start, bool* hasDigits) {
    std::size_t i = start;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool digits = false;
    bool point = false;
    while (i < text.size()) {
        if (isDigit(text[i])) {
            digits = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
        ++i;
    }
    *hasDigits = digits;
    if (!digits) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j])) ++j;
            i = j;
        }
    }
    return i - start;
}

double parseScanned(std::string_view number) {
    // from_chars takes no leading "+" and reports out-of-range results.
    bool negative = false;
    if (!number.empty() && (number.front() == '+' || number.front() == '-')) {
        negative = number.front() == '-';
        number.remove_prefix(1);
    }
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small: decide by the exponent's sign and the mantissa.
        const auto e = number.find_first_of("eE");
        const bool tiny = e != std::string_view::npos && e + 1 < number.size() &&
                          number[e + 1] == '-';
        value = tiny ? 0.0 : std::numeric_limits<double>::max();
    } else if (result.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

}  // namespace

double LeadingNumber(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && isBlank(text[start])) ++start;
    bool digits = false;
    const std::size_t length = scanNumber(text, start, &digits);
    if (length == 0) return 0.0;
    return parseScanned(text.substr(start, length));
}

bool IsNumeric(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && isBlank(text[start])) ++start;
    std::size_t end = text.size();
    while (end > start && isBlank(text[end - 1])) --end;
    if (start == end) return false;
    bool digits = false;
    return scanNumber(text, start, &digits) == end - start;
}

std::string FormatDecimal(double value, int minDecimals, int maxDecimals) {
    if (!std::isfinite(value)) value = std::isnan(value) ? 0.0 : std::copysign(
        std::numeric_limits<double>::max(), value);
    // Fixed notation of DBL_MAX is 309 digits; leave room for sign, point, decimals.
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, maxDecimals);
    std::string text(buffer, result.ptr);
    const auto point = text.find('.');
    if (point == std::string::npos) {
        if (minDecimals > 0) text += '.' + std::string(static_cast<std::size_t>(minDecimals), '0');
    } else {
        const std::size_t keep = point + 1 + static_cast<std::size_t>(minDecimals);
        while (text.size() > keep && text.back() == '0') text.pop_back();
        if (minDecimals == 0 && text.back() == '.') text.pop_back();
    }
    if (text.front() == '-' && text.find_first_of("123456789") == std::string::npos) {
        text.erase(0, 1);
    }
    return text;
}

std::string ShortestDecimal(double value) {
    if (!std::isfinite(value)) value = 0.0;
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return std::string(buffer, result.ptr);
}

double ClampToBounds(double value, double lo, double hi) {
    if (hi > lo) {
        if (value > hi) value = hi;
        if (value < lo) value = lo;
    }
    return value;
}

std::string ClampAndFormatText(std::string_view text, int maxDecimals, double lo, double hi) {
    return FormatDecimal(ClampToBounds(LeadingNumber(text), lo, hi), 1, maxDecimals);
}

std::int16_t RoundToInt16(double value) {
    if (std::isnan(value)) return 0;
    const double rounded = std::nearbyint(value);  // default rounding mode: ties to even
    if (rounded > 32767.0) return 32767;
    if (rounded < -32768.0) return -32768;
    return static_cast<std::int16_t>(rounded);
}

std::optional<std::int16_t> ToWholeNumber16(std::string_view text) {
    if (!IsNumeric(text)) return std::nullopt;
    const double rounded = std::nearbyint(LeadingNumber(text));
    if (rounded > 32767.0 || rounded < -32768.0) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

}  // namespace tally
