// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound/sound_clip.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace zelmoro::platform {

// Plays a clip through ALSA's default device (libasound) on a thread of its
// own: the way out when no sound server can be reached. `onChange` runs on
// that thread when the device is open, when the clip has been played out and
// when the device failed.
// start() and stop() are for one controlling thread; stop() returns once the
// device is closed, within a few tens of milliseconds.
class AlsaOutput {
public:
    enum class State { Idle, Opening, Playing, Finished, Failed };

    explicit AlsaOutput(std::function<void()> onChange);
    ~AlsaOutput();
    AlsaOutput(const AlsaOutput &) = delete;
    AlsaOutput &operator=(const AlsaOutput &) = delete;

    void start(std::shared_ptr<const SoundClip> clip, bool loop);
    void stop();
    State state() const { return m_state; }
    bool active() const { return m_thread.joinable(); }

private:
    void run(std::shared_ptr<const SoundClip> clip, bool loop);

    std::function<void()> m_onChange;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<State> m_state{State::Idle};
};

} // namespace zelmoro::platform
