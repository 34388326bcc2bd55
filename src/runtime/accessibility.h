// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace zelmoro::runtime {

// What a screen reader finds in our windows: a label is static text whose
// caption can also be read as text, so that a changed caption is announced;
// every window is a frame or, for the small windows without a taskbar entry,
// a dialog, so that a screen reader names it by its caption when it opens.
// Call once, before the first window.
void installAccessibility();

} // namespace zelmoro::runtime
