// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTime>

#include <cstdint>
#include <optional>

namespace zelmoro::clock {

// How long after its second an alarm that no tick fell into still sounds, on
// the local wall clock.
inline constexpr std::int64_t kLateLimitMs = 2 * 60 * 60 * 1000;

// When a tick ran: the wall clock (UTC), the monotonic clock, and the local
// wall clock (the wall clock in the zone of that moment), all in milliseconds.
struct TickMoment {
    std::int64_t wallMs;
    std::int64_t monotonicMs;
    std::int64_t localMs;
};

// How the local wall clock moved from one tick to the next, taken apart: the
// time that really elapsed, how far the wall clock was set (by hand, by time
// synchronisation, or while the machine slept) beyond it, and the change of the
// zone's offset (daylight saving).
struct Passage {
    std::int64_t elapsedMs;
    std::int64_t stepMs;
    std::int64_t zoneShiftMs;
    std::int64_t localMs() const { return elapsedMs + stepMs + zoneShiftMs; }
};
Passage passageBetween(const TickMoment &previous, const TickMoment &current);

// Whether the local clock went forward over the whole alarm second between two
// ticks, with neither tick inside it, and the current tick comes at most
// kLateLimitMs after that second began. A clock that went back passed over
// nothing. No alarm (nullopt) never counts.
bool passedOver(const TickMoment &previous, const TickMoment &current, std::optional<QTime> alarm);

// How long from a tick at this local time to the next tick that could have a
// different outcome: just after the next second begins, or every 100 ms in the
// alarm second and the second before it.
int nextTickDelayMs(std::int64_t localMs, std::optional<QTime> alarm);

// Whether the local clock went forward over the whole alarm second, as for
// passedOver, but the current tick comes more than kLateLimitMs after it: the
// alarm was missed (the machine slept through it) and does not sound.
bool passedOverTooLate(const TickMoment &previous, const TickMoment &current,
                       std::optional<QTime> alarm);

} // namespace zelmoro::clock
