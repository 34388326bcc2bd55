// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/sound_clip.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

namespace zelmoro::platform {

qint64 SoundClip::frames() const
{
    return channels > 0 ? static_cast<qint64>(samples.size()) / channels : 0;
}

double SoundClip::seconds() const
{
    return sampleRate > 0 ? static_cast<double>(frames()) / sampleRate : 0.0;
}

qint64 SoundClip::bytes() const
{
    return static_cast<qint64>(samples.size() * sizeof(std::int16_t));
}

QString findSoundFile(const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return name;

    QStringList dirs{QDir::currentPath()};
    if (QCoreApplication::instance()) {
        const QString appDir = QCoreApplication::applicationDirPath();
        dirs << appDir << appDir + QStringLiteral("/../share/zelmoro");
    }
#ifdef ZELMORO_DATA_DIR
    dirs << QStringLiteral(ZELMORO_DATA_DIR);
#endif
    for (const QString &dir : dirs) {
        const QFileInfo candidate(QDir(dir), name);
        if (candidate.isFile())
            return QDir::cleanPath(candidate.absoluteFilePath());
    }
    return name;
}

namespace {

constexpr int kMinRate = 8000;
constexpr int kMaxRate = 192000;
constexpr sf_count_t kMaxSamples = sf_count_t{1} << 26; // over ten minutes of stereo

bool isWave(int format)
{
    const int type = format & SF_FORMAT_TYPEMASK;
    return type == SF_FORMAT_WAV || type == SF_FORMAT_WAVEX || type == SF_FORMAT_RF64;
}

} // namespace

std::optional<SoundClip> loadWaveFile(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return std::nullopt;

    std::optional<SoundClip> result;
    if (isWave(info.format) && info.frames > 0 && info.channels > 0 &&
        info.frames * info.channels <= kMaxSamples && info.samplerate >= kMinRate &&
        info.samplerate <= kMaxRate) {
        const auto count = static_cast<std::size_t>(info.frames * info.channels);
        std::vector<std::int16_t> raw(count);
        sf_count_t got = 0;
        const int subtype = info.format & SF_FORMAT_SUBMASK;
        if (subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE) {
            // libsndfile does not scale floating-point samples read as 16-bit.
            std::vector<float> floats(count);
            got = sf_readf_float(file, floats.data(), info.frames);
            for (std::size_t i = 0; i < count; ++i)
                raw[i] = static_cast<std::int16_t>(
                    std::lround(std::clamp(floats[i], -1.0f, 1.0f) * 32767.0f));
        } else {
            got = sf_readf_short(file, raw.data(), info.frames);
        }
        if (got > 0) {
            SoundClip clip;
            clip.sampleRate = info.samplerate;
            clip.channels = std::min(info.channels, 2);
            clip.samples.resize(static_cast<std::size_t>(got * clip.channels));
            for (sf_count_t f = 0; f < got; ++f) {
                for (int c = 0; c < clip.channels; ++c)
                    clip.samples[static_cast<std::size_t>(f * clip.channels + c)] =
                        raw[static_cast<std::size_t>(f * info.channels + c)];
            }
            result = std::move(clip);
        }
    }
    sf_close(file);
    return result;
}

const SoundClip &fallbackChime()
{
    static const SoundClip chime = [] {
        constexpr int rate = 44100;
        constexpr double length = 0.5;
        constexpr double note = 1567.98; // G6
        constexpr double attack = 0.003;
        constexpr double fade = 0.02;
        struct Partial {
            double ratio, gain, decay;
        };
        constexpr Partial partials[] = {{1.0, 1.0, 0.35}, {2.0, 0.5, 0.2}, {3.0, 0.25, 0.12}};

        SoundClip clip;
        clip.sampleRate = rate;
        clip.channels = 1;
        const auto frames = static_cast<std::size_t>(length * rate);
        clip.samples.resize(frames);
        for (std::size_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / rate;
            double v = 0.0;
            for (const Partial &p : partials)
                v += p.gain * std::exp(-t / p.decay) *
                     std::sin(2.0 * std::numbers::pi * note * p.ratio * t);
            if (t < attack)
                v *= 0.5 - 0.5 * std::cos(std::numbers::pi * t / attack);
            if (length - t < fade)
                v *= 0.5 - 0.5 * std::cos(std::numbers::pi * (length - t) / fade);
            clip.samples[i] = static_cast<std::int16_t>(std::lround(v * 0.35 * 32767.0));
        }
        return clip;
    }();
    return chime;
}

ClipDevice::ClipDevice(SoundClip clip, bool loop, QObject *parent)
    : QIODevice(parent), m_clip(std::move(clip)), m_loop(loop)
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void ClipDevice::setTailBytes(qint64 bytes)
{
    m_tailBytes = std::max<qint64>(0, bytes);
}

qint64 ClipDevice::bytesAvailable() const
{
    if (m_clip.bytes() == 0)
        return QIODevice::bytesAvailable();
    if (m_loop)
        return std::numeric_limits<qint32>::max();
    return std::max<qint64>(0, m_clip.bytes() + m_tailBytes - m_position) +
           QIODevice::bytesAvailable();
}

qint64 ClipDevice::readData(char *data, qint64 maxSize)
{
    const qint64 clipBytes = m_clip.bytes();
    if (clipBytes == 0 || maxSize <= 0)
        return 0;
    const auto *source = reinterpret_cast<const char *>(m_clip.samples.data());

    qint64 done = 0;
    while (done < maxSize) {
        if (m_loop && m_position >= clipBytes)
            m_position = 0;
        if (m_position < clipBytes) {
            const qint64 n = std::min(maxSize - done, clipBytes - m_position);
            std::memcpy(data + done, source + m_position, static_cast<std::size_t>(n));
            done += n;
            m_position += n;
            continue;
        }
        const qint64 n = std::min(maxSize - done, clipBytes + m_tailBytes - m_position);
        if (n <= 0)
            break;
        std::memset(data + done, 0, static_cast<std::size_t>(n));
        done += n;
        m_position += n;
    }
    return done;
}

qint64 ClipDevice::writeData(const char *, qint64)
{
    return -1;
}

} // namespace zelmoro::platform
