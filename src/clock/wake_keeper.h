// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/power/sleep_inhibitor.h"
#include "platform/power/sleep_watch.h"
#include "platform/power/wake_timer.h"

#include <QObject>
#include <QTimer>

namespace zelmoro::clock {

// Sees to it that the alarm is heard on a computer that sleeps: it asks the
// computer to wake a minute before the next alarm (or, where nothing can wake
// it, keeps it from sleeping while an alarm is set), keeps it and its screen
// awake while the alarm rings, and renews the request before every suspend.
// It follows Module1::AlarmTime().
class WakeKeeper : public QObject {
    Q_OBJECT

public:
    explicit WakeKeeper(QObject *parent = nullptr);

    platform::WakeTimer &wakeTimer() { return m_wakeTimer; }

private:
    // Requests the wake for the next alarm, and moves the timer that renews
    // it once that alarm has come.
    void update();
    void ringingChanged(bool ringing);
    void resumed();

    platform::WakeTimer m_wakeTimer;
    platform::SleepInhibitor m_whileSet;
    platform::SleepInhibitor m_whileRinging;
    platform::SleepWatch m_sleepWatch;
    QTimer m_nextAlarm;
};

} // namespace zelmoro::clock
