// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/fakes.h"

#include "module1.h"
#include "runtime/default_instance.h"
#include "runtime/startup.h"

#include <algorithm>

namespace zelmoro::test {

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
    runtime::unloadAll();
    Module1::AlarmTime.clear();
    platform::setTimeSource(&clock);
    platform::setSoundPlayer(&sound);
    platform::setRandomSource(&random);
    runtime::setErrorReporter(
        [this](const runtime::RuntimeError &error) { reportedErrors.append(error.number()); });
}

FakeRuntime::~FakeRuntime()
{
    runtime::unloadAll();
    Module1::AlarmTime.clear();
    platform::setTimeSource(nullptr);
    platform::setSoundPlayer(nullptr);
    platform::setRandomSource(nullptr);
    runtime::setErrorReporter(nullptr);
}

void prepareOnce()
{
    static const bool prepared = [] {
        runtime::prepareRuntime();
        return true;
    }();
    (void)prepared;
}

} // namespace zelmoro::test
