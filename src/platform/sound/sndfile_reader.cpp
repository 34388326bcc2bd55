// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/sndfile_reader.h"

#include <QFile>

#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace zelmoro::platform {

namespace {

constexpr int kMinRate = 8000;
constexpr int kMaxRate = 192000;
// -60 dBFS in 16-bit samples: 32768 / 1000.
constexpr int kSilenceLimit = 33;

bool isWave(int format)
{
    const int type = format & SF_FORMAT_TYPEMASK;
    return type == SF_FORMAT_WAV || type == SF_FORMAT_WAVEX || type == SF_FORMAT_RF64;
}

// Reads every frame as 16-bit samples, keeping the first `keep` channels.
sf_count_t readFrames(SNDFILE *file, const SF_INFO &info, int keep, std::vector<std::int16_t> &out)
{
    const auto width = static_cast<std::size_t>(info.channels);
    const auto kept = static_cast<std::size_t>(keep);
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    const bool floating = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
    constexpr sf_count_t kBlock = 65536; // frames per read, so extra channels cost little memory
    std::vector<std::int16_t> shorts(static_cast<std::size_t>(kBlock) * width);
    std::vector<float> floats(floating ? shorts.size() : 0);
    out.resize(static_cast<std::size_t>(info.frames) * kept);
    sf_count_t done = 0;
    while (done < info.frames) {
        const sf_count_t want = std::min(kBlock, info.frames - done);
        sf_count_t got = 0;
        if (floating) {
            // libsndfile does not scale floating-point samples read as 16-bit.
            got = sf_readf_float(file, floats.data(), want);
            for (std::size_t i = 0; i < static_cast<std::size_t>(got) * width; ++i)
                shorts[i] = toSample16(floats[i]);
        } else {
            got = sf_readf_short(file, shorts.data(), want);
        }
        if (got <= 0)
            break;
        std::int16_t *to = out.data() + static_cast<std::size_t>(done) * kept;
        for (std::size_t f = 0; f < static_cast<std::size_t>(got); ++f)
            std::copy_n(shorts.data() + f * width, kept, to + f * kept);
        done += got;
    }
    out.resize(static_cast<std::size_t>(done) * kept);
    return done;
}

} // namespace

std::optional<SoundClip> loadWaveFile(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    // Without O_NONBLOCK, opening a FIFO waits for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    SF_INFO info{};
    SNDFILE *file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE); // closes fd
    if (!file)
        return std::nullopt;

    std::optional<SoundClip> result;
    if (isWave(info.format) && info.frames > 0 && info.channels > 0 &&
        info.frames * info.channels <= kMaxWaveSamples && info.samplerate >= kMinRate &&
        info.samplerate <= kMaxRate) {
        SoundClip clip;
        clip.sampleRate = info.samplerate;
        clip.channels = std::min(info.channels, 2);
        if (readFrames(file, info, clip.channels, clip.samples) > 0)
            result = std::move(clip);
    }
    sf_close(file);
    return result;
}

bool isSilent(const SoundClip &clip)
{
    return std::all_of(clip.samples.begin(), clip.samples.end(),
                       [](std::int16_t sample) { return std::abs(int{sample}) < kSilenceLimit; });
}

} // namespace zelmoro::platform
