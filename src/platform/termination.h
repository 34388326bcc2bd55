#pragma once

namespace platform {

// Lets the session end the program: on SIGTERM, SIGHUP or SIGINT the sound is
// stopped and the program ends as End does (every window goes away, the event
// loop returns with status 0). A hang-up or interrupt that was already ignored
// when the program started (nohup, a background job) stays ignored. The signal
// only wakes the event loop; the work is done there, between two event
// handlers. Call once, after the application
// object exists; later calls change nothing.
void installTerminationHandler();

// The work done when the session asks the program to end: stop the sound, then
// End. Nothing happens once the program has ended.
void endOnRequest();

} // namespace platform
