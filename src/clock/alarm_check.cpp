// SPDX-License-Identifier: GPL-3.0-or-later
#include "clock/alarm_check.h"

#include "platform/time_source.h"
#include "runtime/time_text.h"

namespace zelmoro::clock {

namespace {

constexpr int kDayMs = 24 * 60 * 60 * 1000;

// Milliseconds from one time of day forward to another, wrapping at midnight.
int forwardMs(QTime from, QTime to)
{
    const int diff = from.msecsTo(to);
    return diff < 0 ? diff + kDayMs : diff;
}

} // namespace

bool missedBetween(QTime previousTick, QTime thisTick, const QString &alarmTime)
{
    if (!previousTick.isValid() || !thisTick.isValid() || alarmTime.isEmpty())
        return false;
    const std::optional<QTime> alarm = runtime::readTimeText(alarmTime);
    if (!alarm)
        return false;
    const int gap = forwardMs(previousTick, thisTick);
    const int alarmAfterPrevious = forwardMs(previousTick, *alarm);
    // The previous tick lies before the alarm second, this one after its end.
    const bool skipped = alarmAfterPrevious > 0 && alarmAfterPrevious + 1000 <= gap;
    return skipped && gap - alarmAfterPrevious < kLateLimitMs;
}

} // namespace zelmoro::clock
