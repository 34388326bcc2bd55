// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QRectF>
#include <QString>

#include <cstdint>

namespace zelmoro::clock {

// Where the round face sits, in twips of the main window's client area.
struct FaceBox {
    float left;
    float top;
    float width;
    float height;
};

// One hand: (x1, y1) is its tip, (x2, y2) the short tail beyond the pivot.
struct HandLine {
    float x1;
    float y1;
    float x2;
    float y2;
};

struct Hands {
    HandLine hour;
    HandLine minute;
    HandLine second;
};

// The face for a client width (ScaleWidth, in twips).
FaceBox faceBox(float scaleWidth);

// The hand positions (minute rounded to nearest, ties to even)
struct HandUnits {
    std::int16_t hour;   // 0..24, whole hours only
    std::int16_t minute; // 0..60
    std::int16_t second; // 0..59
};
HandUnits handUnits(const QString &timeText);

// The three hands for a client width and a time text.
Hands handsAt(float scaleWidth, const QString &timeText);

// Whether a box (in pixels) comes within two pixels of the outline of an
// ellipse: repainting the face's inside leaves the outline be.
bool reachesOutline(const QRectF &ellipse, const QRect &box);

} // namespace zelmoro::clock
