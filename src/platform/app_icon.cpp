// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app_icon.h"

namespace zelmoro::platform {

namespace {

struct IconShape {
    int size;
    int firstRow;
    int lastRow;
    double discCentreY;
    double discRadius;
};

// The disc's centre sits on the band's middle; in the small band, 11 rows
// high, no whole-pixel disc can, so it sits half a pixel above.
constexpr IconShape kLarge{32, 6, 25, 16.0, 6.0};
constexpr IconShape kSmall{16, 3, 13, 8.0, 3.0};

} // namespace

QImage drawIcon(int size)
{
    const IconShape *shape = size == kLarge.size   ? &kLarge
                             : size == kSmall.size ? &kSmall
                                                   : nullptr;
    if (!shape)
        return {};
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const double centreX = size / 2.0;
    for (int y = shape->firstRow; y <= shape->lastRow; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool frame =
                y == shape->firstRow || y == shape->lastRow || x == 0 || x == size - 1;
            // A pixel is red when its centre lies inside the disc.
            const double dx = x + 0.5 - centreX;
            const double dy = y + 0.5 - shape->discCentreY;
            const bool disc = dx * dx + dy * dy <= shape->discRadius * shape->discRadius;
            image.setPixelColor(x, y,
                                frame  ? QColor(0, 0, 0)
                                : disc ? QColor(255, 0, 0)
                                       : QColor(255, 255, 255));
        }
    }
    return image;
}

} // namespace zelmoro::platform
