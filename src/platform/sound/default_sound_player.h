// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound/sound_player.h"

namespace zelmoro::platform {

// The player used by the program, made on first use. Tests may put their own
// in its place; the caller keeps ownership of what it installs.
SoundPlayer &soundPlayer();
void setSoundPlayer(SoundPlayer *player);

} // namespace zelmoro::platform
