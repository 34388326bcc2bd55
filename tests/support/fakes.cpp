// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/fakes.h"

#include "module1.h"
#include "runtime/default_instance.h"
#include "runtime/startup.h"

namespace zelmoro::test {

bool RecordingSoundPlayer::play(const std::optional<QString> &fileName, std::uint32_t flags)
{
    const bool accepted = !fileName || !m_playing || !(flags & platform::SND_NOSTOP);
    if (accepted) {
        m_playing = fileName.has_value();
        m_looping = m_playing && (flags & platform::SND_LOOP);
    }
    m_calls.push_back(Call{fileName, flags, accepted});
    return accepted;
}

void FakeRuntime::install(bool fakes)
{
    [[maybe_unused]] static const bool prepared = (runtime::prepareRuntime(), true); // once
    runtime::unloadAll();
    Module1::AlarmTime.clear();
    platform::setTimeSource(fakes ? &clock : nullptr);
    platform::setSoundPlayer(fakes ? &sound : nullptr);
    platform::setRandomSource(fakes ? &random : nullptr);
    if (fakes)
        runtime::setErrorReporter([](const runtime::RuntimeError &error) {
            qFatal("runtime error %d escaped a handler", int(error.number()));
        });
    else
        runtime::setErrorReporter(nullptr);
}

} // namespace zelmoro::test
