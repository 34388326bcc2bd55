// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTime>

#include <cstdint>

namespace zelmoro::platform {

inline constexpr std::int64_t kDayMs = 24 * 60 * 60 * 1000;

// Division and remainder rounded towards minus infinity, so that times before
// the epoch or before midnight fall into the right day and second.
constexpr std::int64_t floorDiv(std::int64_t value, std::int64_t by)
{
    const std::int64_t q = value / by;
    return (value % by != 0 && (value < 0) != (by < 0)) ? q - 1 : q;
}
constexpr std::int64_t floorMod(std::int64_t value, std::int64_t by)
{
    return value - floorDiv(value, by) * by;
}

// One reading of the clocks: the wall clock (milliseconds since the epoch, UTC)
// and the monotonic clock (milliseconds from an arbitrary start; it does not
// move while the machine sleeps and is never set).
struct ClockReading {
    std::int64_t wallMs = 0;
    std::int64_t monotonicMs = 0;
};

// The one source of time. Nothing else in the program reads the system clock;
// tests install a source that they set by hand.
class TimeSource {
public:
    virtual ~TimeSource() = default;
    virtual ClockReading read() const = 0;
};

class SystemTimeSource final : public TimeSource {
public:
    ClockReading read() const override;
};

// The source in use (the system's unless one was installed).
const TimeSource &timeSource();
// Installs a source; nullptr goes back to the system's. The caller keeps
// ownership. The local zone is looked up afresh on the next reading.
void setTimeSource(const TimeSource *source);

// Milliseconds since the epoch on the local wall clock: the wall reading plus
// the zone's offset from UTC at that moment. The zone (TZ or /etc/localtime)
// is consulted at most once per wall-clock second, so a change of zone is
// followed within a second while a reading stays cheap.
std::int64_t localMs(std::int64_t wallMs);

// The current time of day on the local wall clock, read afresh.
QTime now();

} // namespace zelmoro::platform
