// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

namespace zelmoro::platform {

// Asks the window manager for a title bar and border only: no system menu, no
// minimize, maximize or close button, and no resizing; the window can still be
// moved. Needed on X11, where the toolkit leaves the decorations to the window
// manager. Does nothing on other platforms.
void requestTitleOnlyFrame(QWidget &window);

// For a tool window, the small kind that belongs to the main one, asks for no
// taskbar or pager entry; other windows keep theirs. Not every window manager leaves the utility
// window type off its taskbar, so the window states are set as well. To be called before the window
// is mapped: the states of a mapped window belong to the window manager. Does nothing on other
// platforms.
void requestTaskbarStates(QWidget &window);

} // namespace zelmoro::platform
