// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound/alsa_output.h"
#include "platform/sound/pulse_output.h"
#include "platform/sound/sound_clip.h"
#include "platform/sound/sound_player.h"

#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace zelmoro::platform {

// The program's sound player. It holds what was last asked of it, its wish:
// nothing, one play of a clip, or a loop of a clip. The calls only change the
// wish and return at once; the outputs are brought to match it on the sound
// server connection's thread, and sound files are decoded on a thread of
// their own.
//
// - Through the sound server while one can be reached; through ALSA's default
//   device while none can, moving back to the server (ALSA closed first) as
//   soon as it is there again.
// - A loop lasts until stopped: it is heard again within a second of the
//   server coming back, and it counts as playing while no output can be had.
//   A loop asked for while its file is still being decoded is accepted at
//   once; if the file is not ready within kStandInAfter, the built-in chime
//   sounds meanwhile and the loop goes on with the file at the end of a chime.
// - A single play lasts until its last sample has been played; cut off by a
//   lost server, it is over and not played again.
// - A missing, unreadable, unusable or silent file plays the built-in chime
//   instead.
// - With no output at all during an alarm, the user is told once, on the
//   desktop, that it cannot be heard.
// - The last decoded file is kept while its size and modification time stay
//   the same, so asking again starts the sound at once.
class AsyncSoundPlayer : public SoundPlayer {
public:
    // `folders`: where a bare file name is looked for (soundFileFolders()).
    explicit AsyncSoundPlayer(QStringList folders);
    ~AsyncSoundPlayer() override;

    bool play(const std::optional<QString> &fileName, std::uint32_t flags) override;
    bool isPlaying() const override;
    bool isLooping() const override;

private:
    enum class Kind { Nothing, Once, Loop };
    struct Wish {
        quint64 id = 0; // every request makes a new wish
        Kind kind = Kind::Nothing;
        QString file;
        std::shared_ptr<const SoundClip> clip; // empty while being decoded
        std::chrono::steady_clock::time_point asked;
    };
    struct Cached {
        QString path;
        qint64 size = -1;
        qint64 modified = 0; // nanoseconds
        std::shared_ptr<const SoundClip> clip;
    };

    void decodeRequests();
    std::shared_ptr<const SoundClip> clipFor(const QString &file);
    void finish(quint64 id);
    void reconcile(); // on the connection's thread
    // Logs a change between heard and not heard; tells the user once per alarm.
    void told(bool silent, quint64 id);

    const QStringList m_folders;

    mutable std::mutex m_mutex; // guards m_wish and m_decodeId
    Wish m_wish;
    quint64 m_lastId = 0;
    quint64 m_decodeId = 0; // the wish whose file the decoder is asked for
    bool m_closing = false;
    std::condition_variable m_decodeWanted;
    Cached m_cache; // decoder thread only

    // Connection thread only.
    quint64 m_pulseId = 0; // the wish the server stream plays
    quint64 m_alsaId = 0;  // the wish ALSA plays
    // After a failure, an output is not tried again before this.
    std::chrono::steady_clock::time_point m_pulseHeldUntil;
    std::chrono::steady_clock::time_point m_alsaHeldUntil;
    std::shared_ptr<const SoundClip> m_alsaClip;
    quint64 m_standInId = 0;   // the alarm the chime stood in for
    bool m_alsaFailed = false; // ALSA failed, and nothing has played since
    bool m_silent = false;     // an alarm wished for, and no output takes it
    quint64 m_toldSilent = 0;  // the alarm the user was told could not be heard

    std::thread m_decoder;
    AlsaOutput m_alsa;
    PulseOutput m_pulse; // last: its thread starts once everything else is ready
};

} // namespace zelmoro::platform
