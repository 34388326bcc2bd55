// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace zelmoro::platform {

// Flag words of the sound call, with their published meanings.
inline constexpr std::uint32_t SND_ASYNC = 1;   // return at once, play in the background
inline constexpr std::uint32_t SND_LOOP = 8;    // repeat until stopped
inline constexpr std::uint32_t SND_NOSTOP = 16; // refuse the request while a sound plays

// The one sound call of the program: play a file once or in a loop, or stop
// (no file name). Returns whether the request was carried out.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual bool play(const std::optional<QString> &fileName, std::uint32_t flags) = 0;
    // True while a sound is being played (a one-shot not yet finished, or a loop).
    virtual bool isPlaying() const = 0;
    // True while a looping sound is being played.
    virtual bool isLooping() const = 0;
};

} // namespace zelmoro::platform
