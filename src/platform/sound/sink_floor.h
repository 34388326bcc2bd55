// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace zelmoro::platform {

// Volumes as the sound server counts them: 0 is silence, kVolumeNorm is 100 %
// as pactl and the desktops' mixers show it (the scale is linear in those
// percentages).
inline constexpr std::uint32_t kVolumeNorm = 0x10000U;
// The least a sink may hold while the alarm rings: 50 %.
inline constexpr std::uint32_t kFloorVolume = kVolumeNorm / 2;

// A sink's or a stream's mute switch and per-channel volumes.
struct OutputLevel {
    bool muted = false;
    std::vector<std::uint32_t> volumes;
    bool operator==(const OutputLevel &) const = default;
};

// What a sink must be set to so that the alarm is heard: unmuted, and its
// loudest channel at `floor` at least, the channels kept in proportion.
// Empty when it is already there: a sink is never lowered.
std::optional<OutputLevel> raisedToFloor(const OutputLevel &now,
                                         std::uint32_t floor = kFloorVolume);

// What a sink gets back once the alarm stops: what it held before the ring
// (`before`), except for what the user set differently from what the alarm
// set (`set`) while it rang, which stays as the user left it (`now`).
OutputLevel givenBack(const OutputLevel &before, const OutputLevel &set, const OutputLevel &now);

// "muted, 5 %" or "20 % / 50 %": a level as a log line tells it.
QString describeLevel(const OutputLevel &level);

} // namespace zelmoro::platform
