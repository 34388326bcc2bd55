// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTime>

#include <cstdint>
#include <optional>

namespace zelmoro::clock {

// How long before the alarm second the computer is asked to wake, so that it
// has resumed and the sound server is back when the alarm comes.
inline constexpr std::int64_t kWakeLeadMs = 60 * 1000;

// When the next alarm rings after the wall clock reads nowMs (UTC): the start
// of the first alarm second that begins after now, on the local wall clock
// (TZ or /etc/localtime). An alarm time that a daylight-saving day skips rings
// when the clock jumps over it; one that a day repeats rings both times. While
// the alarm second runs (it rang), the next one is the following day's.
std::int64_t nextAlarmMs(std::int64_t nowMs, QTime alarm);

// The UTC second at which to wake the computer for that alarm: kWakeLeadMs
// before it, or the alarm second itself when that lead has already begun.
std::int64_t wakeSecondFor(std::int64_t nowMs, QTime alarm);

} // namespace zelmoro::clock
