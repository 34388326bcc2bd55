#include "support/fakes.h"

#include "alarm/module1.h"
#include "platform/default_instance.h"
#include "platform/startup.h"

#include <algorithm>

namespace testing {

bool RecordingSoundPlayer::play(const std::optional<QString> &fileName, std::uint32_t flags)
{
    bool accepted = true;
    if (!fileName) {
        m_playing = false;
        m_looping = false;
    } else if (m_playing && (flags & platform::SND_NOSTOP)) {
        accepted = false;
    } else {
        m_playing = true;
        m_looping = (flags & platform::SND_LOOP) != 0;
    }
    m_calls.push_back(Call{fileName, flags, accepted});
    return accepted;
}

int RecordingSoundPlayer::count(std::uint32_t flags) const
{
    return int(std::count_if(m_calls.begin(), m_calls.end(),
                             [flags](const Call &call) { return call.flags == flags; }));
}

float QueuedRandom::next()
{
    if (m_values.empty())
        return 0.0f;
    const float value = m_values.front();
    m_values.pop_front();
    return value;
}

FakeRuntime::FakeRuntime()
{
    prepareOnce();
    platform::unloadAll();
    Module1::AlarmTime.clear();
    platform::setClock(&clock);
    platform::setSoundPlayer(&sound);
    platform::setRandomSource(&random);
    platform::setErrorReporter(
        [this](const platform::RuntimeError &error) { reportedErrors.append(error.number()); });
}

FakeRuntime::~FakeRuntime()
{
    platform::unloadAll();
    Module1::AlarmTime.clear();
    platform::setClock(nullptr);
    platform::setSoundPlayer(nullptr);
    platform::setRandomSource(nullptr);
    platform::setErrorReporter(nullptr);
}

void prepareOnce()
{
    static const bool prepared = [] {
        platform::prepareRuntime();
        return true;
    }();
    (void)prepared;
}

} // namespace testing
