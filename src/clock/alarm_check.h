// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QTime>

namespace zelmoro::clock {

// How long after its second a missed alarm still sounds.
inline constexpr int kLateLimitMs = 60'000;

// Whether the alarm second fell wholly between two consecutive ticks (no tick
// inside it) and this tick comes less than a minute after it started. Times are
// times of day, so the gap may span midnight. An empty or malformed alarm time,
// or no previous tick, never counts as missed.
bool missedBetween(QTime previousTick, QTime thisTick, const QString &alarmTime);

} // namespace zelmoro::clock
