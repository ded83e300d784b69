#include "numbers/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tally {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

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
            while (j < text.size() && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    return i - start;
}

// A number too large or too small for a double: the largest double or 0, decided
// by its decimal magnitude (leading digits, the point and the exponent together),
// so "0.000...1" with many zeros is tiny and "9999...9" with many nines is huge.
double beyondRange(std::string_view number) {
    const std::size_t e = number.find_first_of("eE");
    const std::string_view mantissa = number.substr(0, e);
    std::size_t point = mantissa.find('.');
    if (point == std::string_view::npos) point = mantissa.size();
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos) return 0.0;
    // digits before the point counted from the first non-zero one, or minus the
    // zeros after the point
    long long magnitude = first < point ? static_cast<long long>(point - first)
                                        : -static_cast<long long>(first - point - 1);
    if (e != std::string_view::npos) {
        std::string_view exponent = number.substr(e + 1);
        bool negative = false;
        if (!exponent.empty() && (exponent.front() == '+' || exponent.front() == '-')) {
            negative = exponent.front() == '-';
            exponent.remove_prefix(1);
        }
        long long value = 0;
        for (char c : exponent) {
            value = value * 10 + (c - '0');
            if (value > 1000000000LL) break;  // saturate; far beyond any double
        }
        magnitude += negative ? -value : value;
    }
    return magnitude > 0 ? std::numeric_limits<double>::max() : 0.0;
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
        value = beyondRange(number);
    } else if (result.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

}  // namespace

double LeadingNumber(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && isBlank(text[start]))
        ++start;
    bool digits = false;
    const std::size_t length = scanNumber(text, start, &digits);
    if (length == 0) return 0.0;
    return parseScanned(text.substr(start, length));
}

bool IsNumeric(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && isBlank(text[start]))
        ++start;
    std::size_t end = text.size();
    while (end > start && isBlank(text[end - 1]))
        --end;
    if (start == end) return false;
    bool digits = false;
    return scanNumber(text, start, &digits) == end - start;
}

std::string FormatDecimal(double value, int minDecimals, int maxDecimals) {
    if (!std::isfinite(value))
        value = std::isnan(value) ? 0.0 : std::copysign(std::numeric_limits<double>::max(), value);
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
        while (text.size() > keep && text.back() == '0')
            text.pop_back();
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
