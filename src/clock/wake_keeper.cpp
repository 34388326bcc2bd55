// SPDX-License-Identifier: GPL-3.0-or-later
#include "clock/wake_keeper.h"

#include "clock/form1.h"
#include "clock/wake_instant.h"
#include "module1.h"
#include "platform/power/screen_wake.h"
#include "platform/time_source.h"
#include "runtime/default_instance.h"

namespace zelmoro::clock {

namespace {

// QTimer waits at most this long; a longer wait is taken in steps.
constexpr std::int64_t kLongestWaitMs = 6 * 60 * 60 * 1000;

} // namespace

WakeKeeper::WakeKeeper(QObject *parent) : QObject(parent)
{
    Module1::Alarm &alarm = Module1::AlarmTime();
    connect(&alarm, &Module1::Alarm::changed, this, &WakeKeeper::update);
    connect(&alarm, &Module1::Alarm::ringingChanged, this, &WakeKeeper::ringingChanged);
    connect(&m_wakeTimer, &platform::WakeTimer::routeChosen, this, &WakeKeeper::update);
    connect(&m_sleepWatch, &platform::SleepWatch::aboutToSleep, this, [this] {
        update();
        m_wakeTimer.reassert();
    });
    connect(&m_sleepWatch, &platform::SleepWatch::resumed, this, &WakeKeeper::resumed);
    m_nextAlarm.setSingleShot(true);
    connect(&m_nextAlarm, &QTimer::timeout, this, &WakeKeeper::update);
    update();
    if (alarm.ringing())
        ringingChanged(true);
}

void WakeKeeper::update()
{
    const Module1::Alarm &alarm = Module1::AlarmTime();
    if (!alarm.time()) {
        m_wakeTimer.request(std::nullopt);
        m_whileSet.release();
        m_nextAlarm.stop();
        return;
    }
    const std::int64_t nowMs = platform::timeSource().read().wallMs;
    m_wakeTimer.request(wakeSecondFor(nowMs, *alarm.time()));
    // Where nothing can wake the computer, it must not fall asleep before the alarm.
    if (m_wakeTimer.route() == platform::WakeTimer::Route::None)
        m_whileSet.hold(QStringLiteral("%1 のアラームを待っています").arg(alarm.text()), false);
    else
        m_whileSet.release();
    const std::int64_t untilNext = nextAlarmMs(nowMs, *alarm.time()) - nowMs + 1000;
    m_nextAlarm.start(int(std::min(untilNext, kLongestWaitMs)));
}

void WakeKeeper::ringingChanged(bool ringing)
{
    if (!ringing) {
        m_whileRinging.release();
        return;
    }
    m_whileRinging.hold(
        QStringLiteral("%1 のアラームが鳴っています").arg(Module1::AlarmTime().text()), true);
    platform::wakeScreen();
    update();
}

void WakeKeeper::resumed()
{
    update();
    // The clock ticks at once, so that an alarm slept through is seen now.
    if (!runtime::form<Form1>().isShown())
        return;
    QTimer &tick = runtime::form<Form1>().get().Timer1();
    if (tick.isActive())
        tick.start(0);
}

} // namespace zelmoro::clock
