// SPDX-License-Identifier: GPL-3.0-or-later
#include "clock/wake_instant.h"

#include "platform/time_source.h"

#include <algorithm>
#include <vector>

namespace zelmoro::clock {

namespace {

constexpr std::int64_t kHourMs = 60 * 60 * 1000;
constexpr std::int64_t kDayMs = 24 * kHourMs;
// Zones lie between 12 hours behind and 14 hours ahead of UTC.
constexpr std::int64_t kMaxBehindMs = 12 * kHourMs;
constexpr std::int64_t kMaxAheadMs = 14 * kHourMs;

std::int64_t offsetAt(std::int64_t utcMs)
{
    return platform::localMs(utcMs) - utcMs;
}

std::int64_t floorDiv(std::int64_t value, std::int64_t by)
{
    const std::int64_t q = value / by;
    return (value % by != 0 && value < 0) ? q - 1 : q;
}

// The UTC instants at which the local clock reaches the local time `local`
// (milliseconds on the local wall clock): one on most days, two where the
// clock is set back over it, and where it is set forward over it, the instant
// of that jump. A zone changes its offset at most once within a day.
void instantsOf(std::int64_t local, std::vector<std::int64_t> &out)
{
    const std::int64_t before = offsetAt(local - kMaxAheadMs - kHourMs);
    const std::int64_t after = offsetAt(local + kMaxBehindMs + kHourMs);
    bool found = false;
    for (const std::int64_t offset : {before, after}) {
        const std::int64_t utc = local - offset;
        if (offsetAt(utc) == offset && std::ranges::find(out, utc) == out.end()) {
            out.push_back(utc);
            found = true;
        }
    }
    if (found || after <= before)
        return;
    // Skipped: the clock jumps from before `local` to after it. Find the
    // second of that jump.
    // The old offset still holds at local - after, the new one at local - before.
    std::int64_t low = local - after;
    std::int64_t high = local - before;
    low = floorDiv(low, 1000) * 1000;
    while (high - low > 1000) {
        const std::int64_t mid = floorDiv(low + (high - low) / 2, 1000) * 1000;
        (offsetAt(mid) == after ? high : low) = mid;
    }
    out.push_back(offsetAt(low) == after ? low : high);
}

} // namespace

std::int64_t nextAlarmMs(std::int64_t nowMs, QTime alarm)
{
    const std::int64_t today = floorDiv(platform::localMs(nowMs), kDayMs) * kDayMs;
    std::vector<std::int64_t> instants;
    for (int day = -1; day <= 2; ++day)
        instantsOf(today + day * kDayMs + alarm.msecsSinceStartOfDay() / 1000 * 1000, instants);
    std::ranges::sort(instants);
    const auto next = std::ranges::upper_bound(instants, nowMs);
    return next != instants.end() ? *next : instants.back() + kDayMs;
}

std::int64_t wakeSecondFor(std::int64_t nowMs, QTime alarm)
{
    const std::int64_t ring = nextAlarmMs(nowMs, alarm);
    const std::int64_t wake = ring - kWakeLeadMs > nowMs ? ring - kWakeLeadMs : ring;
    return floorDiv(wake, 1000);
}

} // namespace zelmoro::clock
