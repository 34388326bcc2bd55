// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace zelmoro::platform {

// Posts one message through the desktop's notification server
// (org.freedesktop.Notifications on the session bus), as application
// "Zelmoro" with the application's icon and critical urgency, so that it
// stays on screen until the user dismisses it. The call is asynchronous and
// never blocks; without a session bus or a notification server the message is
// logged instead (category zelmoro.notify), once per program run and reason.
void postCriticalNotification(const QString &summary, const QString &body);

} // namespace zelmoro::platform
