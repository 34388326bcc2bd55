// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound/sound_player.h"

#include <QString>

#include <cstdint>
#include <optional>

// State shared between the windows, and the sound call.
namespace zelmoro::Module1 {

// The alarm time as a time text ("7:00:00"); empty until the alarm dialog sets it.
inline QString AlarmTime;

// The sound call: a file name (or none, to stop) and a flag word. Returns
// whether the request was carried out; callers are free to ignore it.
inline bool sndPlaySoundA(const std::optional<QString> &fileName, std::uint32_t flags)
{
    return platform::soundPlayer().play(fileName, flags);
}

} // namespace zelmoro::Module1
