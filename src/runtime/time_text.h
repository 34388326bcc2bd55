// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QTime>

#include <cstdint>
#include <optional>

namespace zelmoro::runtime {

// The time text: 24-hour clock, hour without leading zero, two-digit minute and
// second, separated by colons ("7:05:09", "23:00:00").
QString timeText(QTime time);

// A time text read back ("7:05:09"); no value for any other text.
std::optional<QTime> readTimeText(const QString &timeText);

// Fields of a time (whole seconds).
std::int16_t hourOf(QTime time);
std::int16_t minuteOf(QTime time);
std::int16_t secondOf(QTime time);

// Fields of a time text such as "7:05:09"; a text that is not a time raises the
// type-mismatch error.
std::int16_t hourOf(const QString &timeText);
std::int16_t minuteOf(const QString &timeText);
std::int16_t secondOf(const QString &timeText);

} // namespace zelmoro::runtime
