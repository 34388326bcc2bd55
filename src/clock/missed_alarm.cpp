// SPDX-License-Identifier: GPL-3.0-or-later
#include "clock/missed_alarm.h"

#include "platform/desktop_notification.h"

namespace zelmoro::clock {

void tellMissedAlarm(const QString &alarmText)
{
    platform::postCriticalNotification(
        QStringLiteral("アラーム %1 を逃しました").arg(alarmText),
        QStringLiteral("時刻を2時間以上過ぎていたため、鳴らしませんでした。"));
}

} // namespace zelmoro::clock
