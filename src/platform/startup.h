#pragma once

namespace platform {

// What every run needs before the first window: the built-in pictures and the
// font stand-ins.
void prepareRuntime();

} // namespace platform
