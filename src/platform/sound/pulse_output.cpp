// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/pulse_output.h"

#include "platform/self_pipe.h"
#include "platform/sound/sound_log.h"

#include <pulse/pulseaudio.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace zelmoro::platform {

namespace {

constexpr pa_usec_t kRetryUSecs = 500 * PA_USEC_PER_MSEC; // a lost server is looked for this often
// Sound queued on the server: enough that a busy machine causes no gap, little
// enough that the first sample comes quickly.
constexpr pa_usec_t kBufferUSecs = 200 * PA_USEC_PER_MSEC;
constexpr char kApplicationId[] = ZELMORO_APP_ID;
// How long the end of the program waits for the sinks to be given back.
constexpr std::chrono::seconds kGiveBackWait{1};

} // namespace

struct PulseOutput::Callbacks {
    static void onContextState(pa_context *context, void *self);
    static void onStreamState(pa_stream *stream, void *self);
    static void onWritable(pa_stream *stream, std::size_t bytes, void *self);
    static void onDrained(pa_stream *stream, int success, void *self);
    static void onRetry(pa_mainloop_api *, pa_time_event *, const timeval *, void *self);
    static void onWake(pa_mainloop_api *, pa_io_event *, int fd, pa_io_event_flags, void *self);
};

PulseOutput::PulseOutput(std::function<void()> onChange) : m_onChange(std::move(onChange))
{
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop || ::pipe2(m_wakeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        qCWarning(zelmoroSound, "cannot start the sound server connection");
        return;
    }
    pa_threaded_mainloop_set_name(m_loop, "zelmoro-sound");
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(m_loop);
    m_wakeEvent = api->io_new(api, m_wakeFds[0], PA_IO_EVENT_INPUT, &Callbacks::onWake, this);
    connect();
    m_running = pa_threaded_mainloop_start(m_loop) == 0;
}

PulseOutput::~PulseOutput()
{
    shutdown();
    if (m_loop)
        pa_threaded_mainloop_free(m_loop);
    for (int fd : m_wakeFds) {
        if (fd >= 0)
            ::close(fd);
    }
}

void PulseOutput::shutdown()
{
    if (!m_running)
        return;
    pa_threaded_mainloop_lock(m_loop);
    stop();
    const auto giveUp = std::chrono::steady_clock::now() + kGiveBackWait;
    while (m_floor.settling() && std::chrono::steady_clock::now() < giveUp) {
        pa_threaded_mainloop_unlock(m_loop);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        pa_threaded_mainloop_lock(m_loop);
    }
    dropContext();
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(m_loop);
    if (m_retry)
        api->time_free(m_retry);
    m_retry = nullptr;
    if (m_alarmClock)
        api->time_free(m_alarmClock);
    m_alarmClock = nullptr;
    api->io_free(m_wakeEvent);
    m_wakeEvent = nullptr;
    pa_threaded_mainloop_unlock(m_loop);
    pa_threaded_mainloop_stop(m_loop);
    m_running = false;
}

void PulseOutput::wake()
{
    if (m_wakeFds[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto written =
            ::write(m_wakeFds[1], &byte, 1); // full pipe: already woken
    }
}

void PulseOutput::wakeAfter(std::chrono::milliseconds delay)
{
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when),
                   static_cast<pa_usec_t>(delay.count()) * PA_USEC_PER_MSEC);
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(m_loop);
    if (m_alarmClock) {
        api->time_restart(m_alarmClock, &when);
        return;
    }
    m_alarmClock = api->time_new(
        api, &when,
        [](pa_mainloop_api *, pa_time_event *, const timeval *, void *self) {
            static_cast<PulseOutput *>(self)->m_onChange();
        },
        this);
}

void PulseOutput::Callbacks::onWake(pa_mainloop_api *, pa_io_event *, int fd, pa_io_event_flags,
                                    void *self)
{
    drainSelfPipe(fd);
    static_cast<PulseOutput *>(self)->m_onChange();
}

void PulseOutput::connect()
{
    dropContext();
    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Zelmoro");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, kApplicationId);
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, kApplicationId);
    m_context =
        pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_loop), "Zelmoro", props);
    pa_proplist_free(props);
    if (!m_context) {
        scheduleRetry();
        return;
    }
    pa_context_set_state_callback(m_context, &Callbacks::onContextState, this);
    // The desktop session starts the server; a clock should not spawn one.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        failed();
}

void PulseOutput::dropContext()
{
    if (!m_context)
        return;
    m_floor.forget();
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
}

void PulseOutput::scheduleRetry()
{
    if (m_retry)
        return;
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), kRetryUSecs);
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(m_loop);
    m_retry = api->time_new(api, &when, &Callbacks::onRetry, this);
}

void PulseOutput::Callbacks::onRetry(pa_mainloop_api *api, pa_time_event *event, const timeval *,
                                     void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    api->time_free(event);
    out->m_retry = nullptr;
    if (out->m_link != Link::Ready)
        out->connect();
    out->m_onChange();
}

void PulseOutput::Callbacks::onContextState(pa_context *context, void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    if (context != out->m_context)
        return;
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        if (out->m_lossReported)
            qCInfo(zelmoroSound, "sound output back: sound server %s",
                   pa_context_get_server(context));
        else
            qCInfo(zelmoroSound, "sound output: sound server %s", pa_context_get_server(context));
        out->m_link = Link::Ready;
        out->m_wasReady = true;
        out->m_lossReported = false;
        out->wake();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        out->failed();
        break;
    default:
        break;
    }
}

void PulseOutput::failed()
{
    if (!m_lossReported) {
        const char *why = pa_strerror(pa_context_errno(m_context));
        if (m_wasReady)
            qCWarning(zelmoroSound, "sound output lost: the sound server went away (%s)", why);
        else
            qCWarning(zelmoroSound, "sound output lost: no sound server (%s)", why);
        m_lossReported = true;
    }
    // The context is let go of by the next attempt, outside its own callback.
    m_floor.forget();
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    m_link = Link::Away;
    if (m_stream)
        m_streamState = Stream::Failed;
    scheduleRetry();
    wake();
}

void PulseOutput::play(std::shared_ptr<const SoundClip> clip, bool loop, const char *role,
                       const QString &name)
{
    stop();
    if (m_link != Link::Ready || !clip || clip->bytes() == 0) {
        streamFailed();
        return;
    }
    const pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<std::uint32_t>(clip->sampleRate),
                              static_cast<std::uint8_t>(clip->channels)};
    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, role);
    const QByteArray title = name.toUtf8();
    m_stream = pa_stream_new_with_proplist(m_context, title.constData(), &spec, nullptr, props);
    pa_proplist_free(props);
    if (!m_stream) {
        streamFailed();
        return;
    }
    m_clip = std::move(clip);
    m_loopClip = loop;
    m_position = 0;
    pa_stream_set_state_callback(m_stream, &Callbacks::onStreamState, this);
    pa_stream_set_write_callback(m_stream, &Callbacks::onWritable, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kBufferUSecs, &spec));
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    m_streamState = Stream::Playing;
    // The alarm starts audible whatever a mixer saved for it last time; Wave
    // Test plays as the mixer has it, since it tests what will be heard.
    pa_cvolume full{};
    pa_cvolume_set(&full, spec.channels, PA_VOLUME_NORM);
    // Without PA_STREAM_ADJUST_LATENCY the buffer is queued on the server, not
    // rendered ahead by the sink, so a stop silences within the sink's own
    // latency.
    if (pa_stream_connect_playback(m_stream, nullptr, &attr,
                                   loop ? PA_STREAM_START_UNMUTED : PA_STREAM_NOFLAGS,
                                   loop ? &full : nullptr, nullptr) != 0)
        streamFailed();
}

void PulseOutput::streamFailed()
{
    m_streamState = Stream::Failed;
    wake();
    scheduleRetry(); // a stream failed on a working connection is tried again with the next tick
}

void PulseOutput::stop()
{
    if (m_drain) {
        pa_operation_cancel(m_drain);
        pa_operation_unref(m_drain);
        m_drain = nullptr;
    }
    if (m_stream) {
        m_floor.end();
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
            pa_stream_disconnect(m_stream); // the server drops what is queued
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    m_streamState = Stream::None;
    m_clip.reset();
    m_next.reset();
}

void PulseOutput::Callbacks::onStreamState(pa_stream *stream, void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (stream == out->m_stream && state == PA_STREAM_READY && out->m_loopClip)
        out->m_floor.begin(out->m_context, stream);
    if (stream != out->m_stream || PA_STREAM_IS_GOOD(state))
        return;
    out->streamFailed();
}

void PulseOutput::Callbacks::onWritable(pa_stream *stream, std::size_t bytes, void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    if (stream == out->m_stream)
        out->fill(bytes);
}

void PulseOutput::fill(std::size_t bytes)
{
    if (m_streamState != Stream::Playing || m_drain)
        return;
    while (bytes > 0) {
        if (m_position >= m_clip->bytes()) {
            if (m_loopClip && m_next &&
                (m_next->sampleRate != m_clip->sampleRate || m_next->channels != m_clip->channels))
                m_loopClip = false; // played out; the next clip needs a stream of its own
            if (!m_loopClip)
                break;
            if (m_next) {
                qCInfo(zelmoroSound, "the sound file is ready: it follows the chime");
                m_clip = std::move(m_next);
            }
            m_position = 0;
        }
        const auto *data = reinterpret_cast<const char *>(m_clip->samples.data());
        const std::size_t total = m_clip->bytes();
        const std::size_t n = std::min(bytes, total - m_position);
        if (pa_stream_write(m_stream, data + m_position, n, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            streamFailed();
            return;
        }
        m_position += n;
        bytes -= n;
    }
    if (!m_loopClip &&
        m_position >= m_clip->bytes()) // all handed over: wait until it has been played
        m_drain = pa_stream_drain(m_stream, &Callbacks::onDrained, this);
}

void PulseOutput::Callbacks::onDrained(pa_stream *stream, int success, void *self)
{
    auto *out = static_cast<PulseOutput *>(self);
    if (stream != out->m_stream)
        return;
    if (out->m_drain) {
        pa_operation_unref(out->m_drain);
        out->m_drain = nullptr;
    }
    if (success) {
        out->m_streamState = Stream::Finished;
        out->wake();
    } else {
        out->streamFailed();
    }
}

} // namespace zelmoro::platform
