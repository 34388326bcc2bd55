// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace zelmoro::runtime {

// What every run needs before the first window: the built-in pictures and the
// font stand-ins.
void prepareRuntime();

} // namespace zelmoro::runtime
