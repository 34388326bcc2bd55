// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

namespace zelmoro::platform {

// Asks the window manager for a title bar and border only: no system menu, no
// minimize, maximize or close button, and no resizing; the window can still be
// moved. Needed on X11, where the toolkit leaves the decorations to the window
// manager. Does nothing on other platforms.
void requestTitleOnlyFrame(QWidget &window);

} // namespace zelmoro::platform
