#include "platform/time_of_day.h"

#include "platform/runtime_error.h"

namespace platform {

namespace {

const Clock *installedClock = nullptr;

QTime parseTimeText(const QString &text)
{
    const QTime time = QTime::fromString(text.trimmed(), QStringLiteral("H:mm:ss"));
    if (!time.isValid())
        raiseTypeMismatch();
    return time;
}

} // namespace

QTime SystemClock::timeOfDay() const
{
    return QTime::currentTime();
}

const Clock &clock()
{
    static const SystemClock system;
    return installedClock ? *installedClock : system;
}

void setClock(const Clock *newClock)
{
    installedClock = newClock;
}

QTime now()
{
    return clock().timeOfDay();
}

QString timeText(QTime time)
{
    return time.toString(QStringLiteral("H:mm:ss"));
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

} // namespace platform
