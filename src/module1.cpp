// SPDX-License-Identifier: GPL-3.0-or-later
#include "module1.h"

#include "platform/sound/default_sound_player.h"
#include "runtime/time_text.h"

#include <cstdint>

namespace zelmoro::Module1 {

namespace {

// The sound call: a file name (or none, to stop) and a flag word. Returns
// whether the request was carried out.
bool sndPlaySoundA(const std::optional<QString> &fileName, std::uint32_t flags)
{
    return platform::soundPlayer().play(fileName, flags);
}

} // namespace

void Alarm::set(const QString &timeText)
{
    if (timeText == m_text)
        return;
    m_text = timeText;
    m_time = m_text.isEmpty() ? std::nullopt : runtime::readTimeText(m_text);
    emit changed();
}

void Alarm::setRinging(bool ringing)
{
    if (ringing == m_ringing)
        return;
    m_ringing = ringing;
    emit ringingChanged(ringing);
}

void Alarm::resetForTest()
{
    set(QString());
    setRinging(false);
}

Alarm &AlarmTime()
{
    static Alarm alarm;
    return alarm;
}

bool playOnce(const QString &file)
{
    return sndPlaySoundA(file, platform::SND_ASYNC | platform::SND_NOSTOP);
}

bool playLoop(const QString &file)
{
    using namespace platform;
    const std::uint32_t loop = SND_ASYNC | SND_LOOP | SND_NOSTOP;
    bool played = sndPlaySoundA(file, loop);
    // Refused because a sound plays. A loop already sounding is left alone; a
    // test sound gives way to the alarm.
    if (!played && soundPlayer().isPlaying() && !soundPlayer().isLooping()) {
        sndPlaySoundA(std::nullopt, SND_ASYNC);
        played = sndPlaySoundA(file, loop);
    }
    AlarmTime().setRinging(true);
    return played;
}

void stopSound()
{
    sndPlaySoundA(std::nullopt, platform::SND_ASYNC);
    AlarmTime().setRinging(false);
}

} // namespace zelmoro::Module1
