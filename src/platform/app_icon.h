// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>

namespace zelmoro::platform {

// The program's icon at one of its two drawn sizes, 32 or 16 pixels square: a
// white band with a one-pixel black frame across the full width (rows 6 to 25,
// or 3 to 13 in the small image) and a red disc at its centre (12 pixels
// across, or 6), transparent above and below. Drawn pixel by pixel so that no
// scaling or antialiasing blurs it. Any other size gives a null image.
QImage drawIcon(int size);

} // namespace zelmoro::platform
