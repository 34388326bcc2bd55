// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound/sound_player.h"

#include <QAudio>
#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>

class QAudioSink;

namespace zelmoro::platform {

class ClipDevice;
struct SoundClip;

// Plays sounds through the desktop's sound server with Qt Multimedia's audio
// output. Each request decodes its file into memory and opens a fresh output
// stream on the current default device, so a server that went away and came
// back is picked up again by the next request. Every call returns at once;
// the sound is fed from the event loop of the thread that owns the player.
class PulseSoundPlayer : public QObject, public SoundPlayer {
    Q_OBJECT

public:
    explicit PulseSoundPlayer(QObject *parent = nullptr);
    ~PulseSoundPlayer() override;

    bool play(const std::optional<QString> &fileName, std::uint32_t flags) override;
    bool isPlaying() const override;
    bool isLooping() const override;

private:
    bool start(SoundClip clip, bool loop);
    void stop();
    // Lets go of the current output: stops it now, deletes it later (it may be
    // the sender of the signal being handled).
    void release();
    void onStateChanged(quint64 generation, QAudio::State state);
    void watch();

    QAudioSink *m_sink = nullptr;
    ClipDevice *m_device = nullptr; // owned by m_sink
    quint64 m_generation = 0;       // tells the current output's signals from old ones
    qint64 m_clipUSecs = 0;
    QTimer m_watch;
    QDeadlineTimer m_drainDeadline{QDeadlineTimer::Forever};
};

} // namespace zelmoro::platform
