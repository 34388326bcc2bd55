// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/sound_player.h"

#include "platform/sound/pulse_sound_player.h"

#include <QCoreApplication>

namespace zelmoro::platform {

namespace {

SoundPlayer *installedPlayer = nullptr;
PulseSoundPlayer *defaultPlayer = nullptr;

// Runs when the application object is destroyed, so that the default
// player's stream is closed while the audio backend is still there.
void destroyDefaultPlayer()
{
    delete defaultPlayer;
    defaultPlayer = nullptr;
}

} // namespace

SoundPlayer &soundPlayer()
{
    if (installedPlayer)
        return *installedPlayer;
    if (!defaultPlayer) {
        Q_ASSERT_X(QCoreApplication::instance(), "platform::soundPlayer",
                   "the sound player needs an application object");
        defaultPlayer = new PulseSoundPlayer;
        qAddPostRoutine(destroyDefaultPlayer);
    }
    return *defaultPlayer;
}

void setSoundPlayer(SoundPlayer *player)
{
    installedPlayer = player;
}

} // namespace zelmoro::platform
