#pragma once

#include <QString>
#include <QTime>

#include <cstdint>
#include <optional>

namespace platform {

// The one source of the time of day. Nothing else in the program reads the
// system clock; tests install a clock that they set by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QTime timeOfDay() const = 0;
};

class SystemClock final : public Clock {
public:
    QTime timeOfDay() const override;
};

// The clock in use (the system clock unless one was installed).
const Clock &clock();
// Installs a clock; nullptr goes back to the system clock. The caller keeps ownership.
void setClock(const Clock *clock);

// The current time of day, read afresh from the clock in use.
QTime now();

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

} // namespace platform
