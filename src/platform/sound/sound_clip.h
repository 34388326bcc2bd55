// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIODevice>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace zelmoro::platform {

// A sound held in memory: interleaved signed 16-bit samples.
struct SoundClip {
    std::vector<std::int16_t> samples;
    int sampleRate = 0;
    int channels = 0;

    qint64 frames() const;
    double seconds() const;
    qint64 bytes() const;
};

// Where a sound file name is looked for. A name with a directory part is used
// as given. A bare name such as "belora.wav" is looked for in the current
// directory, then in the program's directory, then in ../share/zelmoro next to
// the program, then in the installed data directory. Returns the first file
// found, or the name unchanged when there is none.
QString findSoundFile(const QString &name);

// Decodes a WAVE file into memory. Empty when the file is missing, cannot be
// read, is not a WAVE file or holds no sound. Files with more than two
// channels keep their first two.
std::optional<SoundClip> loadWaveFile(const QString &path);

// The built-in bell, played when the requested file is unusable: a bright
// struck bell of half a second that repeats as an urgent ring when looped.
const SoundClip &fallbackChime();

// Feeds a clip to an audio output: once, followed by a stretch of silence that
// pushes the last samples out of the output's buffer before the end is
// reported, or endlessly, the end of the clip joined to its beginning.
class ClipDevice : public QIODevice {
public:
    ClipDevice(SoundClip clip, bool loop, QObject *parent = nullptr);

    // Silence (in bytes) that follows a clip played once. Set it before the
    // clip's end is reached.
    void setTailBytes(qint64 bytes);

    const SoundClip &clip() const { return m_clip; }
    bool isLooping() const { return m_loop; }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    SoundClip m_clip;
    bool m_loop;
    qint64 m_position = 0; // bytes delivered so far
    qint64 m_tailBytes = 0;
};

} // namespace zelmoro::platform
