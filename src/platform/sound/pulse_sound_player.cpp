// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/pulse_sound_player.h"

#include "platform/sound/sound_clip.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

#include <cmath>
#include <utility>

namespace zelmoro::platform {

namespace {

constexpr int kLoopWatchMs = 500;   // a playing output is checked for failure this often
constexpr int kDrainWatchMs = 20;   // the end of a sound played once is followed this closely
constexpr int kDrainGraceMs = 2000; // longest wait for the server to play out the last samples
constexpr int kTailMs = 100;        // silence after a sound played once, besides the buffer
// Sound queued on the server: the window stays busy this long without a gap in
// the sound (a stop still silences at once, the stream is closed).
constexpr int kBufferMs = 300;

} // namespace

PulseSoundPlayer::PulseSoundPlayer(QObject *parent) : QObject(parent)
{
    connect(&m_watch, &QTimer::timeout, this, &PulseSoundPlayer::watch);
}

PulseSoundPlayer::~PulseSoundPlayer()
{
    release();
    // Outputs let go of earlier are still waiting for their deferred deletion;
    // end them now so that no stream outlives the player.
    const auto sinks = findChildren<QAudioSink *>(Qt::FindDirectChildrenOnly);
    for (QAudioSink *sink : sinks) {
        disconnect(sink, nullptr, this, nullptr);
        delete sink;
    }
}

bool PulseSoundPlayer::play(const std::optional<QString> &fileName, std::uint32_t flags)
{
    if (!fileName) {
        stop();
        return true;
    }
    if ((flags & SND_NOSTOP) && isPlaying())
        return false;
    stop();

    std::optional<SoundClip> clip = loadWaveFile(findSoundFile(*fileName));
    if (!clip) {
        if (flags & SND_NODEFAULT)
            return false;
        clip = fallbackChime();
    }
    return start(std::move(*clip), (flags & SND_LOOP) != 0);
}

bool PulseSoundPlayer::isPlaying() const
{
    return m_sink && m_sink->state() != QAudio::StoppedState;
}

bool PulseSoundPlayer::isLooping() const
{
    return isPlaying() && m_device && m_device->isLooping();
}

bool PulseSoundPlayer::start(SoundClip clip, bool loop)
{
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull())
        return false; // no server: the audio backend has said so once already

    QAudioFormat format;
    format.setSampleRate(clip.sampleRate);
    format.setChannelCount(clip.channels);
    format.setSampleFormat(QAudioFormat::Int16);
    const qint64 frameBytes = format.bytesPerFrame();
    const qint64 tailFrames = static_cast<qint64>(clip.sampleRate) * kTailMs / 1000;
    const qint64 bufferFrames = static_cast<qint64>(clip.sampleRate) * kBufferMs / 1000;
    m_clipUSecs = std::llround(clip.seconds() * 1e6);

    auto *sink = new QAudioSink(output, format, this);
    sink->setBufferSize(bufferFrames * frameBytes);
    auto *device = new ClipDevice(std::move(clip), loop, sink);
    const quint64 generation = ++m_generation;
    connect(sink, &QAudioSink::stateChanged, this,
            [this, generation](QAudio::State state) { onStateChanged(generation, state); });
    m_sink = sink;
    m_device = device;

    // A failure to open can be reported through stateChanged before start()
    // returns; the handler then lets go of the output (deleting it later).
    sink->start(device);
    if (generation != m_generation)
        return false;
    if (sink->state() == QAudio::StoppedState) {
        release();
        return false;
    }

    // Enough silence after a sound played once to push its last samples
    // through the output's buffer.
    const qint64 buffered = sink->bufferSize() / frameBytes * frameBytes;
    device->setTailBytes(buffered + tailFrames * frameBytes);
    m_watch.start(kLoopWatchMs);
    return true;
}

void PulseSoundPlayer::stop()
{
    release();
}

void PulseSoundPlayer::release()
{
    m_watch.stop();
    m_drainDeadline = QDeadlineTimer(QDeadlineTimer::Forever);
    ++m_generation;
    m_device = nullptr;
    QAudioSink *sink = std::exchange(m_sink, nullptr);
    if (!sink)
        return;
    disconnect(sink, nullptr, this, nullptr);
    sink->stop(); // closes the stream on the server before returning
    sink->deleteLater();
}

void PulseSoundPlayer::onStateChanged(quint64 generation, QAudio::State state)
{
    if (generation != m_generation || !m_sink)
        return;
    if (state == QAudio::StoppedState) {
        // Only failures stop an output behind our back (no server, or the
        // server went away).
        release();
        return;
    }
    if (state == QAudio::IdleState && m_device && !m_device->isLooping() && m_device->atEnd() &&
        m_drainDeadline.isForever()) {
        // Everything is handed over; wait until the server has played it.
        m_drainDeadline = QDeadlineTimer(kDrainGraceMs);
        m_watch.start(kDrainWatchMs);
        watch();
    }
}

void PulseSoundPlayer::watch()
{
    if (!m_sink) {
        m_watch.stop();
        return;
    }
    const QAudio::Error error = m_sink->error();
    if (m_sink->state() == QAudio::StoppedState || error == QAudio::OpenError ||
        error == QAudio::IOError || error == QAudio::FatalError) {
        release();
        return;
    }
    if (!m_drainDeadline.isForever() &&
        (m_sink->processedUSecs() >= m_clipUSecs || m_drainDeadline.hasExpired()))
        release();
}

} // namespace zelmoro::platform
