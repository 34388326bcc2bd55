// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace zelmoro::platform {

// Empties the read end of a non-blocking pipe that is written to only to wake
// a loop (a signal handler, another thread): how many bytes came does not
// matter, only that something did.
void drainSelfPipe(int readEnd);

} // namespace zelmoro::platform
