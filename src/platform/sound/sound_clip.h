// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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

} // namespace zelmoro::platform
