// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound/sound_clip.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace zelmoro::platform {

// The longest sound file that is decoded: 2^27 samples, which is 256 MiB as
// 16-bit PCM or about 25 minutes of 44.1 kHz stereo. A longer file is
// treated like a missing one.
inline constexpr std::int64_t kMaxWaveSamples = std::int64_t{1} << 27;

// Decodes a WAVE file (PCM of any width, or floating point) into memory with
// libsndfile. Empty when the path is not a regular file this user can read,
// is not a WAVE file, holds no sound or is longer than kMaxWaveSamples. The
// file is opened without blocking, so a FIFO or device under the name cannot
// hold the caller. Files with more than two channels keep their first two.
std::optional<SoundClip> loadWaveFile(const QString &path);

// True when every sample is below -60 dBFS: a file that would ring unheard.
bool isSilent(const SoundClip &clip);

} // namespace zelmoro::platform
