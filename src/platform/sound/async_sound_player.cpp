// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/async_sound_player.h"

#include "platform/sound/chime_synth.h"
#include "platform/sound/sndfile_reader.h"
#include "platform/sound/sound_file_lookup.h"
#include "platform/sound/sound_log.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "platform/desktop_notification.h"

#include <sys/stat.h>

namespace zelmoro::platform {

namespace {

using Clock = std::chrono::steady_clock;
// A failed output is tried again after this (with the next retry tick).
constexpr std::chrono::milliseconds kHoldAfterFailure{400};
// An alarm whose file is not ready this long after the request sounds the
// built-in chime meanwhile.
constexpr std::chrono::milliseconds kStandInAfter{300};

} // namespace

AsyncSoundPlayer::AsyncSoundPlayer(QStringList folders)
    : m_folders(std::move(folders)), m_decoder([this] { decodeRequests(); }),
      m_alsa([this] { m_pulse.wake(); }), m_pulse([this] { reconcile(); })
{
}

AsyncSoundPlayer::~AsyncSoundPlayer()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_decodeWanted.notify_all();
    m_pulse.shutdown(); // nothing is reconciled from here on
    m_alsa.stop();
    m_decoder.join();
}

bool AsyncSoundPlayer::play(const std::optional<QString> &fileName, std::uint32_t flags)
{
    {
        const std::lock_guard lock(m_mutex);
        if (fileName && (flags & SND_NOSTOP) && m_wish.kind != Kind::Nothing)
            return false;
        m_wish = Wish{++m_lastId, Kind::Nothing, {}, {}, Clock::now()};
        if (fileName) {
            m_wish.kind = (flags & SND_LOOP) ? Kind::Loop : Kind::Once;
            m_wish.file = *fileName;
            m_decodeId = m_wish.id;
        }
    }
    if (fileName)
        m_decodeWanted.notify_one();
    m_pulse.wake();
    return true;
}

bool AsyncSoundPlayer::isPlaying() const
{
    const std::lock_guard lock(m_mutex);
    return m_wish.kind != Kind::Nothing;
}

bool AsyncSoundPlayer::isLooping() const
{
    const std::lock_guard lock(m_mutex);
    return m_wish.kind == Kind::Loop;
}

void AsyncSoundPlayer::finish(quint64 id)
{
    const std::lock_guard lock(m_mutex);
    if (m_wish.id == id)
        m_wish = Wish{m_wish.id, Kind::Nothing, {}, {}, {}};
}

void AsyncSoundPlayer::decodeRequests()
{
    std::unique_lock lock(m_mutex);
    quint64 done = 0;
    for (;;) {
        m_decodeWanted.wait(lock, [&] { return m_closing || m_decodeId != done; });
        if (m_closing)
            return;
        done = m_decodeId;
        const QString file = m_wish.file;
        lock.unlock();
        std::shared_ptr<const SoundClip> clip = clipFor(file);
        lock.lock();
        if (m_wish.id == done && m_wish.kind != Kind::Nothing) {
            m_wish.clip = std::move(clip);
            m_pulse.wake();
        }
        lock.unlock();
        builtInChime(); // made once, while idle, so that it stands in for a late file at once
        lock.lock();
    }
}

std::shared_ptr<const SoundClip> AsyncSoundPlayer::clipFor(const QString &file)
{
    const QString path = findSoundFile(file, m_folders);
    struct stat st {};
    if (!path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0) {
        const qint64 modified = qint64{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
        if (m_cache.clip && m_cache.path == path && m_cache.size == st.st_size &&
            m_cache.modified == modified)
            return m_cache.clip;
        m_cache = {}; // let go of the old clip before decoding the new one
        if (std::optional<SoundClip> clip = loadWaveFile(path)) {
            const bool silent = isSilent(*clip);
            if (silent)
                qCInfo(zelmoroSound,
                       "\"%s\" is silent (below -60 dBFS throughout): playing the built-in "
                       "chime",
                       qUtf8Printable(path));
            m_cache = {path, st.st_size, modified,
                       silent ? builtInChime()
                              : std::make_shared<const SoundClip>(std::move(*clip))};
            return m_cache.clip;
        }
    }
    qCInfo(zelmoroSound, "cannot play \"%s\": playing the built-in chime", qUtf8Printable(file));
    return builtInChime();
}

void AsyncSoundPlayer::reconcile()
{
    Wish wish;
    {
        const std::lock_guard lock(m_mutex);
        if (m_closing)
            return;
        wish = m_wish;
    }
    const bool wanted = wish.kind != Kind::Nothing;
    const bool loop = wish.kind == Kind::Loop;
    const bool serverReady = m_pulse.link() == PulseOutput::Link::Ready;
    const auto now = Clock::now();

    // The file, or for an alarm whose file is late, the chime meanwhile.
    std::shared_ptr<const SoundClip> clip = wish.clip;
    if (loop && !clip) {
        if (now - wish.asked < kStandInAfter) {
            m_pulse.wakeAfter(
                std::chrono::ceil<std::chrono::milliseconds>(wish.asked + kStandInAfter - now));
        } else {
            clip = builtInChime();
            if (m_standInId != wish.id)
                qCInfo(zelmoroSound, "\"%s\" is not ready yet: the built-in chime sounds meanwhile",
                       qUtf8Printable(wish.file));
            m_standInId = wish.id;
        }
    }

    // Let go of what is no longer wished for, and of ALSA once the server is
    // back (closed before the server plays, so nothing sounds twice) or the
    // file is ready after the chime stood in for it.
    if (m_pulse.stream() != PulseOutput::Stream::None && (!wanted || m_pulseId != wish.id))
        m_pulse.stop();
    if (m_alsa.active() &&
        (!wanted || m_alsaId != wish.id || serverReady || (clip && clip != m_alsaClip))) {
        m_alsa.stop();
        if (wanted && m_alsaId == wish.id && wish.kind == Kind::Once) {
            finish(wish.id); // cut off, not played again
            return;
        }
    }
    if (!wanted || !clip) {
        m_silent = false;
        return;
    }

    // How the output playing the wish is doing.
    if (m_pulseId == wish.id && m_pulse.stream() != PulseOutput::Stream::None &&
        m_pulse.stream() != PulseOutput::Stream::Playing) {
        const bool finished = m_pulse.stream() == PulseOutput::Stream::Finished;
        m_pulse.stop();
        if (!loop) {
            finish(wish.id);
            return;
        }
        if (!finished) // a loop only finishes to go on with its file in a stream of its own
            m_pulseHeldUntil = now + kHoldAfterFailure;
    }
    if (m_alsa.active() && m_alsaId == wish.id) {
        const AlsaOutput::State state = m_alsa.state();
        m_alsaFailed = state == AlsaOutput::State::Failed ||
                       (m_alsaFailed && state != AlsaOutput::State::Playing);
        if (state == AlsaOutput::State::Finished || state == AlsaOutput::State::Failed) {
            m_alsa.stop();
            m_alsaHeldUntil = now + kHoldAfterFailure;
            if (state == AlsaOutput::State::Finished || !loop) {
                finish(wish.id);
                return;
            }
        }
    }

    if (serverReady) {
        if (m_pulse.stream() == PulseOutput::Stream::None && now >= m_pulseHeldUntil) {
            m_pulseId = wish.id;
            m_pulse.play(clip, loop, loop ? "alarm" : "event", QFileInfo(wish.file).fileName());
        } else if (m_pulseId == wish.id && m_pulse.clip() && m_pulse.clip() != clip) {
            m_pulse.continueWith(clip); // the file is ready: after this chime
        }
    } else if (m_pulse.link() == PulseOutput::Link::Away && !m_alsa.active() &&
               now >= m_alsaHeldUntil) {
        m_alsaId = wish.id;
        m_alsaClip = clip;
        m_alsa.start(clip, loop);
    }
    if (serverReady)
        m_alsaFailed = false;
    told(loop && m_alsaFailed, wish.id);
}

void AsyncSoundPlayer::told(bool silent, quint64 id)
{
    if (silent == m_silent)
        return;
    m_silent = silent;
    if (!silent) {
        qCInfo(zelmoroSound, "the alarm can be heard again");
        return;
    }
    qCWarning(zelmoroSound, "no sound output (no sound server, no ALSA device): the alarm "
                            "cannot be heard");
    if (m_toldSilent == id)
        return;
    m_toldSilent = id;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            postCriticalNotification(
                QStringLiteral("アラームの音を出せません"),
                QStringLiteral(
                    "音の出力先が見つかりません。スピーカーやヘッドホンをご確認ください。"));
        },
        Qt::QueuedConnection);
}

} // namespace zelmoro::platform
