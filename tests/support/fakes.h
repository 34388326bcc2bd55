// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/random_source.h"
#include "platform/sound/sound_player.h"
#include "platform/time_source.h"
#include "runtime/runtime_error.h"
#include "runtime/time_text.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace zelmoro::test {

// A clock that reads whatever the test sets: a wall clock whose local time
// follows the real zone (TZ), and a monotonic clock.
class FakeClock final : public platform::TimeSource {
public:
    platform::ClockReading read() const override { return m_reading; }
    QTime timeOfDay() const { return localTime().time(); }
    QDateTime localTime() const { return QDateTime::fromMSecsSinceEpoch(m_reading.wallMs); }
    // The clock set to a local time, today or on a given day (the monotonic
    // clock stands still, as when someone sets the clock).
    void set(const QDateTime &local) { m_reading.wallMs = local.toMSecsSinceEpoch(); }
    void set(QTime time) { set(QDateTime(localTime().date(), time)); }
    void set(int h, int m, int s, int ms = 0) { set(QTime(h, m, s, ms)); }
    // Time passes: both clocks move on.
    void advanceMs(qint64 ms) { step(ms, ms); }
    void step(qint64 wallMs, qint64 monotonicMs)
    {
        m_reading.wallMs += wallMs;
        m_reading.monotonicMs += monotonicMs;
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
        bool accepted;
    };

    bool play(const std::optional<QString> &fileName, std::uint32_t flags) override;
    bool isPlaying() const override { return m_playing; }
    bool isLooping() const override { return m_playing && m_looping; }

    const std::vector<Call> &calls() const { return m_calls; }
    // How many requests had exactly these flags.
    int count(std::uint32_t flags) const;

private:
    std::vector<Call> m_calls;
    bool m_playing = false;
    bool m_looping = false;
};

// A random source that hands out the values the test queued (then 0).
class QueuedRandom final : public platform::RandomSource {
public:
    void reseed() override { ++m_reseeds; }
    float next() override;
    void queue(std::initializer_list<float> values) { m_values.insert(m_values.end(), values); }
    int reseeds() const { return m_reseeds; }

private:
    std::deque<float> m_values;
    int m_reseeds = 0;
};

// Installs the fakes for one test and puts the real services back afterwards;
// errors that escape a handler are recorded instead of shown in a message box.
class FakeRuntime {
public:
    FakeRuntime();
    ~FakeRuntime();
    FakeRuntime(const FakeRuntime &) = delete;
    FakeRuntime &operator=(const FakeRuntime &) = delete;

    FakeClock clock;
    RecordingSoundPlayer sound;
    QueuedRandom random;
    QList<runtime::ErrorNumber> reportedErrors;
};

// Once per test program, before any window: fonts and built-in pictures.
void prepareOnce();

} // namespace zelmoro::test

namespace zelmoro::clock {
}
namespace zelmoro::alarm {
}
namespace zelmoro::wakeup {
}

// Test programs name the program's windows and services by their folder alone
// (runtime::form, platform::SND_LOOP) and the windows by their own names.
using namespace zelmoro;
using namespace zelmoro::clock;
using namespace zelmoro::alarm;
using namespace zelmoro::wakeup;
