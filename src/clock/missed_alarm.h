// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace zelmoro::clock {

// Tells the user, through a desktop notification, that the alarm at this time
// (as the main window shows it) came and went without sounding.
void tellMissedAlarm(const QString &alarmText);

} // namespace zelmoro::clock
