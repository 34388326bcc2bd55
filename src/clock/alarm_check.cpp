// SPDX-License-Identifier: GPL-3.0-or-later
#include "clock/alarm_check.h"

#include "runtime/time_text.h"

#include <algorithm>
#include <optional>

namespace zelmoro::clock {

namespace {

constexpr std::int64_t kDayMs = 24 * 60 * 60 * 1000;
// The tick's nominal grid, and how soon after a second begins the tick wakes.
constexpr std::int64_t kGridMs = 100;
constexpr std::int64_t kAfterBoundaryMs = 1;

std::int64_t floorMod(std::int64_t value, std::int64_t by)
{
    const std::int64_t r = value % by;
    return r < 0 ? r + by : r;
}

std::optional<std::int64_t> alarmMsOfDay(const QString &alarmTime)
{
    if (alarmTime.isEmpty())
        return std::nullopt;
    const std::optional<QTime> alarm = runtime::readTimeText(alarmTime);
    if (!alarm)
        return std::nullopt;
    return alarm->msecsSinceStartOfDay();
}

} // namespace

Passage passageBetween(const TickMoment &previous, const TickMoment &current)
{
    const std::int64_t elapsed = current.monotonicMs - previous.monotonicMs;
    const std::int64_t step = (current.wallMs - previous.wallMs) - elapsed;
    const std::int64_t zoneShift =
        (current.localMs - current.wallMs) - (previous.localMs - previous.wallMs);
    return Passage{elapsed, step, zoneShift};
}

bool passedOver(const TickMoment &previous, const TickMoment &current, const QString &alarmTime)
{
    const std::optional<std::int64_t> alarm = alarmMsOfDay(alarmTime);
    if (!alarm)
        return false;
    const std::int64_t forward = passageBetween(previous, current).localMs();
    if (forward <= 0)
        return false;
    const std::int64_t reached = previous.localMs + forward;
    // The latest alarm second that ended by this tick.
    const std::int64_t lastEnd = reached - 1000;
    const std::int64_t start = lastEnd - floorMod(lastEnd - *alarm, kDayMs);
    return start > previous.localMs && reached - start <= kLateLimitMs;
}

int nextTickDelayMs(std::int64_t localMs, const QString &alarmTime)
{
    const std::int64_t toNextSecond = 1000 - floorMod(localMs, 1000) + kAfterBoundaryMs;
    const std::optional<std::int64_t> alarm = alarmMsOfDay(alarmTime);
    if (alarm) {
        const std::int64_t second = floorMod(localMs, kDayMs) / 1000 * 1000;
        const std::int64_t untilAlarm = floorMod(*alarm - second, kDayMs);
        if (untilAlarm <= 1000)
            return int(std::min(kGridMs, toNextSecond));
    }
    return int(toNextSecond);
}

} // namespace zelmoro::clock
