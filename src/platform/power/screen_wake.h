// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace zelmoro::platform {

// Turns the screen on, for the alarm: on X11 resets the screen saver and
// forces the display's power level on (DPMS), and asks KDE's power manager to
// wake the screen where it runs. Asynchronous; what is missing is passed over.
void wakeScreen();

} // namespace zelmoro::platform
