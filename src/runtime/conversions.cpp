// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/conversions.h"

#include "runtime/runtime_error.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace zelmoro::runtime {

double roundHalfEven(double value)
{
    // nearbyint honours the current rounding mode, which is to-nearest-even
    // unless someone changed it; make sure of it for this call.
    const int previous = std::fegetround();
    if (previous != FE_TONEAREST)
        std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    if (previous != FE_TONEAREST)
        std::fesetround(previous);
    return rounded;
}

namespace {

template <class Int> Int roundedTo(double value)
{
    if (!std::isfinite(value))
        raiseOverflow();
    const double rounded = roundHalfEven(value);
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Int>::max()))
        raiseOverflow();
    return static_cast<Int>(rounded);
}

// A result worked out in a wider type, brought back to Int or overflowing.
template <class Int, class Wide> Int checked(Wide value)
{
    if (value < std::numeric_limits<Int>::min() || value > std::numeric_limits<Int>::max())
        raiseOverflow();
    return static_cast<Int>(value);
}

// The ASCII form of a character that may have been typed in full width.
QChar narrow(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= 0xFF01 && u <= 0xFF5E)
        return QChar(static_cast<char16_t>(u - 0xFEE0));
    if (u == 0x3000)
        return QLatin1Char(' ');
    return c;
}

} // namespace

std::int16_t toInt16(double value)
{
    return roundedTo<std::int16_t>(value);
}

std::int32_t toInt32(double value)
{
    return roundedTo<std::int32_t>(value);
}

std::int16_t checkedAdd(std::int16_t a, std::int16_t b)
{
    return checked<std::int16_t>(std::int32_t{a} + b);
}

std::int16_t checkedSub(std::int16_t a, std::int16_t b)
{
    return checked<std::int16_t>(std::int32_t{a} - b);
}

std::int16_t checkedMul(std::int16_t a, std::int16_t b)
{
    return checked<std::int16_t>(std::int32_t{a} * b);
}

std::int32_t checkedMul32(std::int32_t a, std::int32_t b)
{
    return checked<std::int32_t>(std::int64_t{a} * b);
}

std::int32_t checkedSub32(std::int32_t a, std::int32_t b)
{
    return checked<std::int32_t>(std::int64_t{a} - b);
}

QString decimalText(std::int32_t value)
{
    return QString::number(value);
}

std::optional<double> readNumber(const QString &text)
{
    QString ascii;
    ascii.reserve(text.size());
    for (const QChar c : text)
        ascii.append(narrow(c));
    const QString trimmed = ascii.trimmed();

    qsizetype i = 0;
    bool negative = false;
    if (i < trimmed.size() && (trimmed[i] == QLatin1Char('+') || trimmed[i] == QLatin1Char('-'))) {
        negative = trimmed[i] == QLatin1Char('-');
        ++i;
    }
    QString digits;
    qsizetype intDigits = 0, fracDigits = 0;
    for (; i < trimmed.size() && trimmed[i].isDigit() && trimmed[i].unicode() < 128;
         ++i, ++intDigits)
        digits.append(trimmed[i]);
    if (i < trimmed.size() && trimmed[i] == QLatin1Char('.')) {
        digits.append(QLatin1Char('.'));
        for (++i; i < trimmed.size() && trimmed[i].isDigit() && trimmed[i].unicode() < 128;
             ++i, ++fracDigits)
            digits.append(trimmed[i]);
    }
    if (i != trimmed.size() || intDigits + fracDigits == 0)
        return std::nullopt;

    bool ok = false;
    const double magnitude = digits.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return negative ? -magnitude : magnitude;
}

std::int16_t textToInt16(const QString &text)
{
    const std::optional<double> value = readNumber(text);
    if (!value)
        raiseTypeMismatch();
    return toInt16(*value);
}

std::optional<std::int16_t> tryTextToInt16(const QString &text)
{
    const std::optional<double> value = readNumber(text);
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    const double rounded = roundHalfEven(*value);
    if (rounded < std::numeric_limits<std::int16_t>::min() ||
        rounded > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

} // namespace zelmoro::runtime
