// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/alsa_output.h"

#include "platform/sound/sound_log.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>

namespace zelmoro::platform {

namespace {

constexpr unsigned kLatencyUSecs = 100000; // the device's buffer
constexpr int kChunksPerSecond = 50;       // written 20 ms at a time, so stop() is heard at once
// A device that takes sound faster than it plays it (a null or file device)
// is held to real time, this far ahead at most, rather than spun on.
constexpr std::chrono::milliseconds kMaxAhead{150};

void quiet(const char *, int, const char *, int, const char *, ...)
{
}

} // namespace

AlsaOutput::AlsaOutput(std::function<void()> onChange) : m_onChange(std::move(onChange))
{
}

AlsaOutput::~AlsaOutput()
{
    stop();
}

void AlsaOutput::start(std::shared_ptr<const SoundClip> clip, bool loop)
{
    stop();
    m_stop = false;
    m_state = State::Opening;
    m_thread = std::thread([this, clip = std::move(clip), loop] { run(clip, loop); });
}

void AlsaOutput::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    m_state = State::Idle;
}

void AlsaOutput::run(std::shared_ptr<const SoundClip> clip, bool loop)
{
    // libasound's own messages would repeat with every attempt while no device
    // can be had; the player says once what went wrong.
    snd_lib_error_set_handler(&quiet);
    snd_pcm_t *pcm = nullptr;
    // Opened without blocking, so a device held by another program fails at
    // once; written with blocking, paced by the device.
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        m_state = State::Failed;
        m_onChange();
        return;
    }
    const auto channels = static_cast<unsigned>(clip->channels);
    const auto rate = static_cast<unsigned>(clip->sampleRate);
    if (snd_pcm_nonblock(pcm, 0) < 0 ||
        snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, channels,
                           rate, 1, kLatencyUSecs) < 0) {
        snd_pcm_close(pcm);
        m_state = State::Failed;
        m_onChange();
        return;
    }
    qCInfo(zelmoroSound, "sound output: ALSA default device");
    m_state = State::Playing;
    m_onChange();

    const auto total = static_cast<snd_pcm_uframes_t>(clip->frames());
    const snd_pcm_uframes_t chunk = rate / kChunksPerSecond;
    const auto began = std::chrono::steady_clock::now();
    std::int64_t written = 0; // frames, for holding a too-eager device to real time
    snd_pcm_uframes_t position = 0;
    State outcome = State::Finished;
    while (!m_stop) {
        if (position >= total) {
            if (!loop) {
                snd_pcm_drain(pcm);
                break;
            }
            position = 0;
        }
        const snd_pcm_uframes_t n = std::min(chunk, total - position);
        snd_pcm_sframes_t done = snd_pcm_writei(pcm, clip->samples.data() + position * channels, n);
        if (done < 0)
            done = snd_pcm_recover(pcm, static_cast<int>(done), 1);
        if (done < 0) {
            outcome = State::Failed;
            break;
        }
        position += static_cast<snd_pcm_uframes_t>(done);
        written += done;
        const auto due = began + std::chrono::microseconds(written * 1000000 / rate);
        if (due - std::chrono::steady_clock::now() > kMaxAhead)
            std::this_thread::sleep_until(due - kMaxAhead);
    }
    if (m_stop)
        snd_pcm_drop(pcm);
    snd_pcm_close(pcm);
    if (!m_stop) {
        m_state = outcome;
        m_onChange();
    }
}

} // namespace zelmoro::platform
