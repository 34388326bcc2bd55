// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound/sound_clip.h"

#include <memory>
#include <vector>

namespace zelmoro::platform {

// Zelmoro's alarm chime: a rising E-major arpeggio of four struck bells that
// ring on together, 2.6 seconds of stereo at kChimeRate. The same sound is
// written to belora.wav by make_belora and played by the program whenever the
// requested sound file cannot be used, so an alarm is never silent.
inline constexpr int kChimeRate = 44100;
inline constexpr int kChimeChannels = 2;

// Interleaved stereo samples, peaking at 0.6 of full scale, with a short fade
// at the end so that a loop joins cleanly.
std::vector<float> synthesizeChime();

// The chime as the player plays it, made once.
std::shared_ptr<const SoundClip> builtInChime();

} // namespace zelmoro::platform
