// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace zelmoro::runtime {

// Whether End has stopped the program: from then on no handler runs.
bool hasEnded();
// Stops the program: every window goes away, no further event runs, and the
// event loop returns with status 0.
void End();
// Ends the program after an error has been reported: as End, with status 1.
void endAfterError();
// The status the program ends with.
int endStatus();
// Unloads every form and clears the ended state (at the end of a run, and
// between tests).
void unloadAll();

} // namespace zelmoro::runtime
