// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/fakes.h"

#include "runtime/end.h"
#include "runtime/startup.h"

namespace zelmoro::test {

bool RecordingSoundPlayer::play(const std::optional<QString> &fileName, std::uint32_t flags)
{
    const bool accepted = !fileName || !m_sounding || !(flags & platform::SND_NOSTOP);
    if (accepted)
        m_sounding = fileName ? std::optional(flags) : std::nullopt;
    m_calls.push_back(Call{fileName, flags, runtime::hasEnded()});
    return accepted;
}

void FakeRuntime::install(bool fakes)
{
    [[maybe_unused]] static const bool prepared = [] {
        runtime::prepareRuntime(); // fonts
        return true;
    }();
    runtime::setErrorReporter([](const runtime::RuntimeError &error) {
        qFatal("runtime error %d escaped a handler", int(error.number()));
    });
    runtime::unloadAll();
    Module1::AlarmTime().resetForTest();
    platform::setTimeSource(fakes ? &clock : nullptr);
    platform::setSoundPlayer(fakes ? &sound : nullptr);
    platform::setRandomSource(fakes ? &random : nullptr);
}

} // namespace zelmoro::test
