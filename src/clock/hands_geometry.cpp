// SPDX-License-Identifier: GPL-3.0-or-later
#include "clock/hands_geometry.h"

#include "runtime/conversions.h"
#include "runtime/runtime_error.h"
#include "runtime/time_text.h"

#include <algorithm>
#include <cmath>

namespace zelmoro::clock {

namespace {

// Vertical offset of the face below the text display and buttons.
constexpr std::int32_t kFaceTop = 1500;
// Deliberately short: the clock was designed with this value, not a
// full-precision pi, and every hand position is computed with it.
constexpr double kPi = 3.1415926;

struct HandShape {
    std::int16_t degreesPerUnit;
    double tip;
    double tail;
};

constexpr HandShape kHourShape{30, 0.6, 0.1};
constexpr HandShape kMinuteShape{6, 0.85, 0.15};
constexpr HandShape kSecondShape{6, 0.9, 0.2};

float checkedFloat(double value)
{
    if (!std::isfinite(value))
        runtime::raiseOverflow();
    return static_cast<float>(value);
}

HandLine handLine(const HandShape &shape, std::int16_t units, std::int32_t c)
{
    using namespace runtime;
    const std::int16_t degrees =
        checkedSub(checkedMul(units, shape.degreesPerUnit), std::int16_t{90});
    const float angle = checkedFloat(degrees * kPi / 180.0);
    const double cosA = std::cos(static_cast<double>(angle));
    const double sinA = std::sin(static_cast<double>(angle));
    const double cd = c;
    return HandLine{
        checkedFloat(cd * shape.tip * cosA + cd),
        checkedFloat(cd * shape.tip * sinA + cd + kFaceTop),
        checkedFloat(cd * -shape.tail * cosA + cd),
        checkedFloat(cd * -shape.tail * sinA + cd + kFaceTop),
    };
}

} // namespace

FaceBox faceBox(float scaleWidth)
{
    using namespace runtime;
    const std::int32_t w = toInt32(scaleWidth);
    const std::int32_t half = w / 2;
    const std::int32_t size = checkedSub32(checkedMul32(2, half), 50);
    return FaceBox{5.0f, static_cast<float>(kFaceTop), static_cast<float>(size),
                   static_cast<float>(size)};
}

HandUnits handUnits(const QString &timeText)
{
    using namespace runtime;
    const std::int16_t second = secondOf(timeText);
    const float minuteExact =
        static_cast<float>(minuteOf(timeText)) + static_cast<float>(second) / 60.0f;
    const std::int16_t minute = toInt16(minuteExact);
    const float hourExact =
        static_cast<float>(hourOf(timeText)) + static_cast<float>(minute) / 60.0f;
    const std::int16_t hour = toInt16(hourExact);
    return HandUnits{hour, minute, second};
}

Hands handsAt(float scaleWidth, const QString &timeText)
{
    const std::int32_t c = runtime::toInt32(scaleWidth / 2.0f);
    const HandUnits units = handUnits(timeText);
    return Hands{
        handLine(kHourShape, units.hour, c),
        handLine(kMinuteShape, units.minute, c),
        handLine(kSecondShape, units.second, c),
    };
}

bool reachesOutline(const QRectF &ellipse, const QRect &box)
{
    constexpr double kReach = 2.0; // an antialiased pixel-wide outline, and rounding
    const QPointF centre = ellipse.center();
    const double a = ellipse.width() / 2;
    const double b = ellipse.height() / 2;
    // 1 on the outline, less inside it, more outside.
    const auto level = [&](double x, double y) {
        const double dx = (x - centre.x()) / a;
        const double dy = (y - centre.y()) / b;
        return dx * dx + dy * dy;
    };
    const QRectF near = QRectF(box).adjusted(-kReach, -kReach, kReach, kReach);
    const double closest = level(std::clamp(centre.x(), near.left(), near.right()),
                                 std::clamp(centre.y(), near.top(), near.bottom()));
    const double farthest =
        std::max({level(near.left(), near.top()), level(near.right(), near.top()),
                  level(near.left(), near.bottom()), level(near.right(), near.bottom())});
    return closest <= 1.0 && farthest >= 1.0;
}

} // namespace zelmoro::clock
