// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/default_sound_player.h"

#include "platform/sound/async_sound_player.h"
#include "platform/sound/sound_file_lookup.h"

#include <QCoreApplication>

namespace zelmoro::platform {

namespace {

SoundPlayer *installedPlayer = nullptr;
AsyncSoundPlayer *defaultPlayer = nullptr;

// Runs when the application object is destroyed: the sound threads end and
// the server connection is closed before the program's own teardown.
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
        defaultPlayer =
            new AsyncSoundPlayer(soundFileFolders(QCoreApplication::applicationDirPath()));
        qAddPostRoutine(destroyDefaultPlayer);
    }
    return *defaultPlayer;
}

void setSoundPlayer(SoundPlayer *player)
{
    installedPlayer = player;
}

} // namespace zelmoro::platform
