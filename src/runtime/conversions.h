// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace zelmoro::runtime {

// Rounds to the nearest whole number, ties to the even one (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

// Conversions to integers by rounding to nearest, ties to even; a result out of
// range (or not a number) raises the overflow error.
std::int16_t toInt16(double value);
std::int32_t toInt32(double value);

// 16-bit and 32-bit integer arithmetic with the overflow check.
std::int16_t checkedAdd(std::int16_t a, std::int16_t b);
std::int16_t checkedSub(std::int16_t a, std::int16_t b);
std::int16_t checkedMul(std::int16_t a, std::int16_t b);
std::int32_t checkedMul32(std::int32_t a, std::int32_t b);
std::int32_t checkedSub32(std::int32_t a, std::int32_t b);

// Decimal text of an integer, without leading blank or zero: 7, 23, -5.
QString decimalText(std::int32_t value);

// Reads a text as a number: optional blanks around it, an optional sign,
// decimal digits with an optional fraction. Full-width digits, sign and point
// (as a Japanese input method types them) read as their ASCII forms.
// Anything else gives no value.
std::optional<double> readNumber(const QString &text);

// Reads a text as a 16-bit integer: readNumber, then toInt16. A text that does
// not read as a number raises the type-mismatch error; one out of range the
// overflow error.
std::int16_t textToInt16(const QString &text);

// Same, without raising: no value when the text is not a number or out of range.
std::optional<std::int16_t> tryTextToInt16(const QString &text);

} // namespace zelmoro::runtime
