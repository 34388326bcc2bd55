// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/pulse_sink_floor.h"

#include "platform/sound/sound_log.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>

namespace zelmoro::platform {

namespace {

std::atomic<bool> leftAlone{false};

OutputLevel levelOf(const pa_cvolume &volume, int muted)
{
    OutputLevel level{muted != 0, {}};
    level.volumes.assign(volume.values, volume.values + volume.channels);
    return level;
}

pa_cvolume cvolumeOf(const OutputLevel &level)
{
    pa_cvolume volume{};
    volume.channels = static_cast<std::uint8_t>(level.volumes.size());
    std::copy(level.volumes.begin(), level.volumes.end(), volume.values);
    return volume;
}

} // namespace

void setMixerLeftAlone(bool alone)
{
    leftAlone = alone;
}

bool mixerLeftAlone()
{
    return leftAlone;
}

struct PulseSinkFloor::Callbacks {
    static void event(pa_context *, pa_subscription_event_type_t type, std::uint32_t index,
                      void *self)
    {
        auto *floor = static_cast<PulseSinkFloor *>(self);
        const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
        if (facility == PA_SUBSCRIPTION_EVENT_SINK_INPUT && index == floor->m_streamIndex &&
            kind == PA_SUBSCRIPTION_EVENT_CHANGE)
            floor->lookAtStream();
        if (facility != PA_SUBSCRIPTION_EVENT_SINK || !floor->m_held ||
            floor->m_held->index != index)
            return;
        if (kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
            qCInfo(zelmoroSound, "sink \"%s\" is gone: nothing to give back to it",
                   floor->m_held->name.constData());
            floor->m_held.reset();
        } else if (kind == PA_SUBSCRIPTION_EVENT_CHANGE) {
            floor->lookAtSink();
        }
    }
    static void sinkInfo(pa_context *, const pa_sink_info *info, int eol, void *self)
    {
        if (eol == 0 && info)
            static_cast<PulseSinkFloor *>(self)->sinkSeen(info->index, info->name,
                                                          levelOf(info->volume, info->mute));
    }
    static void streamInfo(pa_context *, const pa_sink_input_info *info, int eol, void *self)
    {
        if (eol == 0 && info)
            static_cast<PulseSinkFloor *>(self)->streamSeen(info->sink,
                                                            levelOf(info->volume, info->mute));
    }
    static void moved(pa_stream *stream, void *self)
    {
        static_cast<PulseSinkFloor *>(self)->moved(pa_stream_get_device_index(stream));
    }
};

void PulseSinkFloor::begin(pa_context *context, pa_stream *stream)
{
    end();
    m_context = context;
    m_stream = stream;
    m_streamIndex = pa_stream_get_index(stream);
    pa_stream_set_moved_callback(stream, &Callbacks::moved, this);
    pa_context_set_subscribe_callback(context, &Callbacks::event, this);
    keep(pa_context_subscribe(context,
                              static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK |
                                                                  PA_SUBSCRIPTION_MASK_SINK_INPUT),
                              nullptr, nullptr));
    lookAtStream();
    if (!mixerLeftAlone())
        hold(pa_stream_get_device_index(stream));
}

void PulseSinkFloor::end()
{
    if (!m_context)
        return;
    for (pa_operation *query : m_queries) {
        pa_operation_cancel(query);
        pa_operation_unref(query);
    }
    m_queries.clear();
    pa_stream_set_moved_callback(m_stream, nullptr, nullptr);
    pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
    keep(pa_context_subscribe(m_context, PA_SUBSCRIPTION_MASK_NULL, nullptr, nullptr), true);
    giveBack();
    m_stream = nullptr;
}

void PulseSinkFloor::forget()
{
    for (auto *list : {&m_queries, &m_givingBack}) {
        for (pa_operation *operation : *list)
            pa_operation_unref(operation);
        list->clear();
    }
    m_held.reset();
    m_stream = nullptr;
    m_context = nullptr;
}

bool PulseSinkFloor::settling()
{
    prune();
    return !m_givingBack.empty();
}

void PulseSinkFloor::keep(pa_operation *operation, bool givingBack)
{
    prune();
    if (operation)
        (givingBack ? m_givingBack : m_queries).push_back(operation);
}

void PulseSinkFloor::prune()
{
    for (auto *list : {&m_queries, &m_givingBack}) {
        std::erase_if(*list, [](pa_operation *operation) {
            if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
                return false;
            pa_operation_unref(operation);
            return true;
        });
    }
}

void PulseSinkFloor::hold(std::uint32_t sinkIndex)
{
    m_held = Held{sinkIndex, {}, false, {}, {}, {}};
    lookAtSink();
}

void PulseSinkFloor::lookAtSink()
{
    if (m_held)
        keep(pa_context_get_sink_info_by_index(m_context, m_held->index, &Callbacks::sinkInfo,
                                               this));
}

void PulseSinkFloor::lookAtStream()
{
    keep(pa_context_get_sink_input_info(m_context, m_streamIndex, &Callbacks::streamInfo, this));
}

void PulseSinkFloor::sinkSeen(std::uint32_t index, const char *name, const OutputLevel &level)
{
    if (!m_held || m_held->index != index)
        return;
    Held &held = *m_held;
    if (held.known && level == held.now)
        return; // nothing new: what was set is on its way
    held.now = level;
    const bool first = !held.known;
    if (first) {
        held = Held{index, name, true, level, level, level};
        qCInfo(zelmoroSound, "alarm plays on sink \"%s\" (%s)", name,
               qUtf8Printable(describeLevel(level)));
    }
    const std::optional<OutputLevel> raised = raisedToFloor(level);
    if (!raised)
        return;
    if (first)
        qCInfo(zelmoroSound, "sink \"%s\" set to %s for the alarm", name,
               qUtf8Printable(describeLevel(*raised)));
    else
        qCInfo(zelmoroSound, "sink \"%s\" turned to %s while the alarm rings: set back to %s", name,
               qUtf8Printable(describeLevel(level)), qUtf8Printable(describeLevel(*raised)));
    setSink(*raised);
    held.set = *raised;
}

void PulseSinkFloor::setSink(const OutputLevel &level, bool givingBack)
{
    const Held &held = *m_held;
    if (level.volumes != held.now.volumes && !level.volumes.empty()) {
        const pa_cvolume volume = cvolumeOf(level);
        keep(pa_context_set_sink_volume_by_index(m_context, held.index, &volume, nullptr, nullptr),
             givingBack);
    }
    if (level.muted != held.now.muted)
        keep(
            pa_context_set_sink_mute_by_index(m_context, held.index, level.muted, nullptr, nullptr),
            givingBack);
}

void PulseSinkFloor::streamSeen(std::uint32_t sinkIndex, const OutputLevel &level)
{
    if (!m_held && !mixerLeftAlone() && sinkIndex != PA_INVALID_INDEX)
        hold(sinkIndex);
    const bool quiet = std::any_of(level.volumes.begin(), level.volumes.end(),
                                   [](std::uint32_t volume) { return volume < kVolumeNorm; });
    if (!level.muted && !quiet)
        return;
    qCInfo(zelmoroSound, "the alarm's stream turned to %s: set back to 100 %%",
           qUtf8Printable(describeLevel(level)));
    pa_cvolume volume{};
    pa_cvolume_set(&volume, static_cast<unsigned>(level.volumes.size()), PA_VOLUME_NORM);
    if (quiet)
        keep(pa_context_set_sink_input_volume(m_context, m_streamIndex, &volume, nullptr, nullptr));
    if (level.muted)
        keep(pa_context_set_sink_input_mute(m_context, m_streamIndex, 0, nullptr, nullptr));
}

void PulseSinkFloor::moved(std::uint32_t sinkIndex)
{
    if (mixerLeftAlone() || (m_held && m_held->index == sinkIndex))
        return;
    qCInfo(zelmoroSound, "the alarm moved to another sink");
    giveBack();
    hold(sinkIndex);
}

void PulseSinkFloor::giveBack()
{
    if (!m_held || !m_held->known) {
        m_held.reset();
        return;
    }
    const OutputLevel back = givenBack(m_held->before, m_held->set, m_held->now);
    if (back != m_held->now) {
        qCInfo(zelmoroSound, "sink \"%s\" given back: %s", m_held->name.constData(),
               qUtf8Printable(describeLevel(back)));
        setSink(back, true);
    }
    m_held.reset();
}

} // namespace zelmoro::platform
