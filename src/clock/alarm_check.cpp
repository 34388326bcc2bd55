// SPDX-License-Identifier: GPL-3.0-or-later
#include "clock/alarm_check.h"

#include "platform/time_source.h"

#include <algorithm>

namespace zelmoro::clock {

namespace {

// The tick's nominal grid, and how soon after a second begins the tick wakes.
constexpr std::int64_t kGridMs = 100;
constexpr std::int64_t kAfterBoundaryMs = 1;

using platform::floorMod;
using platform::kDayMs;

} // namespace

Passage passageBetween(const TickMoment &previous, const TickMoment &current)
{
    const std::int64_t elapsed = current.monotonicMs - previous.monotonicMs;
    const std::int64_t step = (current.wallMs - previous.wallMs) - elapsed;
    const std::int64_t zoneShift =
        (current.localMs - current.wallMs) - (previous.localMs - previous.wallMs);
    return Passage{elapsed, step, zoneShift};
}

namespace {

// How late the first tick comes after the latest alarm second that the local
// clock went forward over whole; nullopt when it passed over none.
std::optional<std::int64_t> lateness(const TickMoment &previous, const TickMoment &current,
                                     std::optional<QTime> alarm)
{
    if (!alarm)
        return std::nullopt;
    const std::int64_t alarmMs = alarm->msecsSinceStartOfDay();
    const std::int64_t forward = passageBetween(previous, current).localMs();
    if (forward <= 0)
        return std::nullopt;
    const std::int64_t reached = previous.localMs + forward;
    // The latest alarm second that ended by this tick.
    const std::int64_t lastEnd = reached - 1000;
    const std::int64_t start = lastEnd - floorMod(lastEnd - alarmMs, kDayMs);
    if (start <= previous.localMs)
        return std::nullopt;
    return reached - start;
}

} // namespace

bool passedOver(const TickMoment &previous, const TickMoment &current, std::optional<QTime> alarm)
{
    const std::optional<std::int64_t> late = lateness(previous, current, alarm);
    return late && *late <= kLateLimitMs;
}

bool passedOverTooLate(const TickMoment &previous, const TickMoment &current,
                       std::optional<QTime> alarm)
{
    const std::optional<std::int64_t> late = lateness(previous, current, alarm);
    return late && *late > kLateLimitMs;
}

int nextTickDelayMs(std::int64_t localMs, std::optional<QTime> alarm)
{
    const std::int64_t toNextSecond = 1000 - floorMod(localMs, 1000) + kAfterBoundaryMs;
    if (alarm) {
        const std::int64_t second = floorMod(localMs, kDayMs) / 1000 * 1000;
        const std::int64_t untilAlarm = floorMod(alarm->msecsSinceStartOfDay() - second, kDayMs);
        if (untilAlarm <= 1000)
            return int(std::min(kGridMs, toNextSecond));
    }
    return int(toNextSecond);
}

} // namespace zelmoro::clock
