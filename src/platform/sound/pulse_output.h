// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound/pulse_sink_floor.h"
#include "platform/sound/sound_clip.h"

#include <QString>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

// libpulse's types, known here only by name; the adapter's source uses them.
struct pa_threaded_mainloop;
struct pa_context;
struct pa_io_event;
struct pa_time_event;
struct pa_stream;
struct pa_operation;

namespace zelmoro::platform {

// The connection to the desktop's sound server (PulseAudio, or PipeWire's
// PulseAudio service) through libpulse's asynchronous API, on a thread of its
// own. It keeps itself connected: when the server goes away or cannot be
// reached it tries again twice a second for as long as it lives, with a timer
// rather than a busy loop. It plays one stream at a time.
//
// `onChange` runs on the connection's thread whenever something may have
// changed: the connection came or went, the stream ended or failed, the
// retry timer fired, or wake() was called. All other members except wake()
// may only be used from within onChange.
class PulseOutput {
public:
    enum class Link { Connecting, Ready, Away };
    enum class Stream { None, Playing, Finished, Failed };

    explicit PulseOutput(std::function<void()> onChange);
    ~PulseOutput();
    PulseOutput(const PulseOutput &) = delete;
    PulseOutput &operator=(const PulseOutput &) = delete;

    // Any thread, never blocks: has onChange run soon.
    void wake();
    // Stops the thread and closes the connection; onChange no longer runs.
    void shutdown();

    Link link() const { return m_link; }
    Stream stream() const { return m_streamState; }
    // Opens a stream for a clip, played once or endlessly. `role` is the
    // media role mixers group it by ("alarm", "event").
    void play(std::shared_ptr<const SoundClip> clip, bool loop, const char *role,
              const QString &name);
    // Closes the stream at once (anything still queued is dropped).
    void stop();
    // A loop goes on with `clip` once the current round has been played.
    void continueWith(std::shared_ptr<const SoundClip> clip) { m_next = std::move(clip); }
    const std::shared_ptr<const SoundClip> &clip() const { return m_clip; }
    // Has onChange run after `delay`.
    void wakeAfter(std::chrono::milliseconds delay);

private:
    // libpulse's callbacks into this connection.
    struct Callbacks;

    void connect();
    void dropContext();
    void failed();
    void streamFailed();
    void scheduleRetry();
    void fill(std::size_t bytes);

    std::function<void()> m_onChange;
    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    pa_io_event *m_wakeEvent = nullptr;
    pa_time_event *m_retry = nullptr;
    int m_wakeFds[2] = {-1, -1};
    bool m_running = false;
    Link m_link = Link::Connecting;
    bool m_wasReady = false; // connected at least once: a failure is a loss
    bool m_lossReported = false;

    pa_stream *m_stream = nullptr;
    pa_operation *m_drain = nullptr;
    Stream m_streamState = Stream::None;
    std::shared_ptr<const SoundClip> m_clip;
    bool m_loopClip = false;
    std::size_t m_position = 0; // bytes of the clip written so far (this round)
    std::shared_ptr<const SoundClip> m_next;
    pa_time_event *m_alarmClock = nullptr;
    PulseSinkFloor m_floor; // the alarm's loop only
};

} // namespace zelmoro::platform
