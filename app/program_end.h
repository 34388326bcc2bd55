// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace zelmoro::app {

// What the program does when the session asks it to end (SIGTERM, SIGHUP,
// SIGINT): the sound stops, then the program ends. Nothing happens once it has
// ended.
void endOnRequest();

// After the event loop has returned: no window and no sound left behind.
void leaveNothingBehind();

} // namespace zelmoro::app
