// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/time_source.h"

#include <ctime>

namespace zelmoro::platform {

namespace {

const TimeSource *installedSource = nullptr;

// The zone's offset, kept for the wall-clock second it was looked up for.
struct ZoneCache {
    bool valid = false;
    std::int64_t second = 0;
    std::int64_t offsetMs = 0;
};
ZoneCache zoneCache;

std::int64_t fromTimespec(const timespec &ts)
{
    return std::int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

} // namespace

ClockReading SystemTimeSource::read() const
{
    timespec wall{};
    timespec monotonic{};
    clock_gettime(CLOCK_REALTIME, &wall);
    clock_gettime(CLOCK_MONOTONIC, &monotonic);
    return ClockReading{fromTimespec(wall), fromTimespec(monotonic)};
}

const TimeSource &timeSource()
{
    static const SystemTimeSource system;
    return installedSource ? *installedSource : system;
}

void setTimeSource(const TimeSource *source)
{
    installedSource = source;
    zoneCache.valid = false;
}

std::int64_t localMs(std::int64_t wallMs)
{
    const std::int64_t second = floorDiv(wallMs, 1000);
    if (!zoneCache.valid || zoneCache.second != second) {
        // tzset() looks at TZ and /etc/localtime again; localtime_r alone would
        // keep the zone it first saw.
        tzset();
        const auto seconds = static_cast<std::time_t>(second);
        std::tm local{};
        localtime_r(&seconds, &local);
        zoneCache = ZoneCache{true, second, std::int64_t(local.tm_gmtoff) * 1000};
    }
    return wallMs + zoneCache.offsetMs;
}

QTime now()
{
    const std::int64_t local = localMs(timeSource().read().wallMs);
    const auto msOfDay = static_cast<int>(floorMod(local, kDayMs));
    return QTime::fromMSecsSinceStartOfDay(msOfDay);
}

} // namespace zelmoro::platform
