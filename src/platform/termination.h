// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace zelmoro::platform {

// Lets the session end the program: on SIGTERM, SIGHUP or SIGINT, onRequest
// runs in the event loop, between two event handlers (the signal only wakes
// the loop). A hang-up or interrupt that was already ignored when the program
// started (nohup, a background job) stays ignored. Call once, after the
// application object exists; later calls change nothing.
void installTerminationHandler(std::function<void()> onRequest);

} // namespace zelmoro::platform
