// Numbers as the operator types them and as the window, the log and the
// publisher show them.
//
// One set of rules for every field: the leading-number value (never fails, a
// comma is never a decimal point), the numeric test, the display formats, and a
// counter's scaled value.
// No locale is consulted anywhere, so "." is the decimal point on every system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tally {

// The number formed by the text's leading characters: blanks skipped, an
// optional sign, digits with at most one ".", an optional exponent. Reading
// stops at the first character that cannot continue the number; no leading
// number gives 0. Values beyond the double range saturate, so the result is
// always finite.
double LeadingNumber(std::string_view text);

// The whole text (blanks around it allowed) is one such number. Empty fails.
bool IsNumeric(std::string_view text);

// value with at least minDecimals and at most maxDecimals decimals, rounded to
// maxDecimals, no digit grouping and no exponent however large the value.
// "0.0###" is (1, 4) and "0.0##" is (1, 3). A value that rounds to zero has no sign.
std::string FormatDecimal(double value, int minDecimals, int maxDecimals);

// Raw counter text: the shortest decimal text that gives the value back, no
// exponent, no decimal point for whole numbers (1500 -> "1500", 12.5 -> "12.5").
std::string ShortestDecimal(double value);

// The clamp of the focus-loss normalisation: with hi > lo, v is first cut to hi,
// then raised to lo; with the bounds the other way round nothing is clamped.
double ClampToBounds(double value, double lo, double hi);

// Normalisation of a field on focus loss: leading number, clamp, format.
std::string ClampAndFormatText(std::string_view text, int maxDecimals, double lo, double hi);

// A text converted to a 16-bit whole number: it must pass the numeric test;
// fractions round to the nearest whole number, ties to the even one. nullopt
// when it does not convert or does not fit.
std::optional<std::int16_t> ToWholeNumber16(std::string_view text);

// Round half to even, then saturate to the 16-bit range.
std::int16_t RoundToInt16(double value);

// A counter scaled for the operator: the count (or counts per second) times its
// channel's multiplier. The monitor, the log, the publisher and the chart all scale with it.
inline double Scaled(double count, double multiplier) {
    return count * multiplier;
}

}  // namespace tally
