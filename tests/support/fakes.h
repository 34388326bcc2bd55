// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "module1.h"
#include "platform/random_source.h"
#include "platform/sound/default_sound_player.h"
#include "platform/time_source.h"
#include "runtime/default_instance.h"
#include "runtime/runtime_error.h"

#include <QDateTime>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace zelmoro::test {

// A clock that reads whatever the test sets: a wall clock whose local time
// follows the real zone (TZ), and a monotonic clock.
class FakeClock final : public platform::TimeSource {
public:
    platform::ClockReading read() const override { return m_reading; }
    QDateTime localTime() const { return QDateTime::fromMSecsSinceEpoch(m_reading.wallMs); }
    // Set to a local time, today by default; the monotonic clock stands still,
    // as when someone sets the clock.
    void set(const QDateTime &local) { m_reading.wallMs = local.toMSecsSinceEpoch(); }
    void set(int h, int m, int s, int ms = 0) { set(QDateTime(localTime().date(), {h, m, s, ms})); }
    // Time passes: both clocks move on, by the same amount unless told apart.
    void advanceMs(qint64 ms) { step(ms, ms); }
    void step(qint64 wall, qint64 mono)
    {
        m_reading.wallMs += wall;
        m_reading.monotonicMs += mono;
    }

private:
    platform::ClockReading m_reading{QDateTime(QDate(2026, 6, 1), QTime(12, 0)).toMSecsSinceEpoch(),
                                     1'000'000};
};

// A sound player that records every request and keeps the real one's refusal
// rule: while a sound plays (a one-shot never ends here), a request with
// SND_NOSTOP is refused.
class RecordingSoundPlayer final : public platform::SoundPlayer {
public:
    struct Call {
        std::optional<QString> file;
        std::uint32_t flags;
        bool afterEnd; // the program had already ended
    };
    bool play(const std::optional<QString> &fileName, std::uint32_t flags) override;
    bool isPlaying() const override { return m_sounding.has_value(); }
    bool isLooping() const override { return m_sounding && (*m_sounding & platform::SND_LOOP); }
    const std::vector<Call> &calls() const { return m_calls; }
    int count(std::uint32_t f) const { return int(std::ranges::count(m_calls, f, &Call::flags)); }

private:
    std::vector<Call> m_calls;
    std::optional<std::uint32_t> m_sounding; // the flags of the sound playing
};

// A random source that hands out the values the test queued (then 0).
class QueuedRandom final : public platform::RandomSource {
public:
    void reseed() override { ++m_reseeds; }
    float next() override { return m_next < m_values.size() ? m_values[m_next++] : 0.0f; }
    void queue(std::initializer_list<float> values) { m_values.insert(m_values.end(), values); }
    int reseeds() const { return m_reseeds; }

private:
    std::vector<float> m_values;
    std::size_t m_next = 0;
    int m_reseeds = 0;
};

// Installs the fakes for one test and puts the real services back afterwards.
// A runtime error that escapes a handler ends the test program at once, loudly,
// instead of waiting in a message box (also after the test).
struct FakeRuntime {
    FakeRuntime() { install(true); }
    ~FakeRuntime() { install(false); }
    void install(bool fakes);

    FakeClock clock;
    RecordingSoundPlayer sound;
    QueuedRandom random;
};

} // namespace zelmoro::test
