// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace zelmoro::platform {

// Finds, before the toolkit starts, the display the program will open, so that
// a session without one gets a plain message instead of the toolkit's abort.
// platform is the toolkit platform asked for (-platform or QT_QPA_PLATFORM; a
// list separated by ';' is tried in order), empty for the default. Returns the
// display's name, the same for every copy on that display ("wayland-0", ":1"
// with the screen number dropped); for a platform that needs no display
// (offscreen, vnc, ...) its own name; empty when no display can be reached.
// preferX11 is set when the default platform should be X11 (on a Wayland
// session, through Xwayland).
QString reachableDisplay(const QString &platform, bool *preferX11);

} // namespace zelmoro::platform
