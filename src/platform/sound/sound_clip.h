// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace zelmoro::platform {

// A sound held in memory: interleaved signed 16-bit samples, one or two
// channels.
struct SoundClip {
    std::vector<std::int16_t> samples;
    int sampleRate = 0;
    int channels = 0;

    std::int64_t frames() const
    {
        return channels > 0 ? static_cast<std::int64_t>(samples.size()) / channels : 0;
    }
    double seconds() const
    {
        return sampleRate > 0 ? static_cast<double>(frames()) / sampleRate : 0.0;
    }
    std::size_t bytes() const { return samples.size() * sizeof(std::int16_t); }
};

// A floating-point sample (full scale -1 to 1) as a 16-bit one; beyond full
// scale it is clipped.
inline std::int16_t toSample16(float value)
{
    return static_cast<std::int16_t>(std::lround(std::clamp(value, -1.0f, 1.0f) * 32767.0f));
}

} // namespace zelmoro::platform
