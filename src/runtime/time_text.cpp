// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/time_text.h"

#include "runtime/runtime_error.h"

namespace zelmoro::runtime {

namespace {

QTime parseTimeText(const QString &text)
{
    const std::optional<QTime> time = readTimeText(text);
    if (!time)
        raiseTypeMismatch();
    return *time;
}

} // namespace

// Runs on every tick, so it reads the digits itself rather than through a
// general date parser.
std::optional<QTime> readTimeText(const QString &text)
{
    const QStringView trimmed = QStringView(text).trimmed();
    const auto digits = [&](qsizetype from, qsizetype count) {
        int value = 0;
        for (qsizetype i = from; i < from + count; ++i) {
            if (i >= trimmed.size() || !trimmed[i].isDigit() || trimmed[i].unicode() > '9')
                return -1;
            value = value * 10 + (trimmed[i].unicode() - '0');
        }
        return value;
    };
    const qsizetype hourDigits = trimmed.size() - 6;
    const bool shaped = (hourDigits == 1 || hourDigits == 2) && trimmed[hourDigits] == u':' &&
                        trimmed[hourDigits + 3] == u':';
    const QTime time =
        shaped ? QTime(digits(0, hourDigits), digits(hourDigits + 1, 2), digits(hourDigits + 4, 2))
               : QTime();
    return time.isValid() ? std::optional(time) : std::nullopt;
}

// Several of these are made on every tick, so the digits are written directly.
QString timeText(QTime time)
{
    if (!time.isValid())
        return QString::asprintf("%d:%02d:%02d", time.hour(), time.minute(), time.second());
    const auto digit = [](int value) { return QChar(u'0' + value); };
    QString text;
    text.reserve(8);
    if (time.hour() >= 10)
        text += digit(time.hour() / 10);
    text += digit(time.hour() % 10);
    for (const int field : {time.minute(), time.second()}) {
        text += QChar(u':');
        text += digit(field / 10);
        text += digit(field % 10);
    }
    return text;
}

std::int16_t hourOf(QTime time)
{
    return static_cast<std::int16_t>(time.hour());
}

std::int16_t minuteOf(QTime time)
{
    return static_cast<std::int16_t>(time.minute());
}

std::int16_t secondOf(QTime time)
{
    return static_cast<std::int16_t>(time.second());
}

std::int16_t hourOf(const QString &text)
{
    return hourOf(parseTimeText(text));
}

std::int16_t minuteOf(const QString &text)
{
    return minuteOf(parseTimeText(text));
}

std::int16_t secondOf(const QString &text)
{
    return secondOf(parseTimeText(text));
}

} // namespace zelmoro::runtime
