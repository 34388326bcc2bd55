// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTime>

namespace zelmoro::platform {

// The one source of the time of day. Nothing else in the program reads the
// system clock; tests install a source that they set by hand.
class TimeSource {
public:
    virtual ~TimeSource() = default;
    virtual QTime timeOfDay() const = 0;
};

class SystemTimeSource final : public TimeSource {
public:
    QTime timeOfDay() const override;
};

// The source in use (the system's unless one was installed).
const TimeSource &timeSource();
// Installs a source; nullptr goes back to the system's. The caller keeps ownership.
void setTimeSource(const TimeSource *source);

// The current time of day, read afresh from the clock in use.
QTime now();

} // namespace zelmoro::platform
