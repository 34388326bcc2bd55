// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/sink_floor.h"

#include <QStringList>

#include <algorithm>

namespace zelmoro::platform {

std::optional<OutputLevel> raisedToFloor(const OutputLevel &now, std::uint32_t floor)
{
    const std::uint32_t loudest =
        now.volumes.empty() ? 0 : *std::max_element(now.volumes.begin(), now.volumes.end());
    if (!now.muted && loudest >= floor)
        return std::nullopt;
    OutputLevel raised{false, now.volumes};
    if (loudest < floor) {
        for (std::uint32_t &volume : raised.volumes) {
            // A silent channel beside a loud one stays silent; all silent: all at the floor.
            volume = loudest == 0 ? floor
                                  : static_cast<std::uint32_t>(
                                        (std::uint64_t{volume} * floor + loudest / 2) / loudest);
        }
    }
    return raised;
}

OutputLevel givenBack(const OutputLevel &before, const OutputLevel &set, const OutputLevel &now)
{
    OutputLevel back = now;
    if (now.muted == set.muted)
        back.muted = before.muted;
    if (now.volumes == set.volumes)
        back.volumes = before.volumes;
    return back;
}

QString describeLevel(const OutputLevel &level)
{
    QStringList channels;
    for (const std::uint32_t volume : level.volumes)
        channels << QStringLiteral("%1 %").arg((std::uint64_t{volume} * 100 + kVolumeNorm / 2) /
                                               kVolumeNorm);
    channels.removeDuplicates();
    const QString volumes = channels.join(QStringLiteral(" / "));
    return level.muted ? QStringLiteral("muted, ") + volumes : volumes;
}

} // namespace zelmoro::platform
