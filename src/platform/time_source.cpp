// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/time_source.h"

namespace zelmoro::platform {

namespace {

const TimeSource *installedSource = nullptr;

} // namespace

QTime SystemTimeSource::timeOfDay() const
{
    return QTime::currentTime();
}

const TimeSource &timeSource()
{
    static const SystemTimeSource system;
    return installedSource ? *installedSource : system;
}

void setTimeSource(const TimeSource *source)
{
    installedSource = source;
}

QTime now()
{
    return timeSource().timeOfDay();
}

} // namespace zelmoro::platform
