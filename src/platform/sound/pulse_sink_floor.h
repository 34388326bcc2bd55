// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sound/sink_floor.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <vector>

struct pa_context;
struct pa_operation;
struct pa_stream;

namespace zelmoro::platform {

// Keeps the alarm audible while it rings: the alarm's own stream at 100 % and
// unmuted, and (unless the mixer is left alone) the sink it plays on at least
// at the floor and unmuted, put back within moments whenever a mute key or a
// mixer takes it away. When the alarm stops, or moves to another sink, the
// sink gets back what it held before. Every change is logged with the sink's
// name. Used on the sound server connection's thread only.
class PulseSinkFloor {
public:
    PulseSinkFloor() = default;
    PulseSinkFloor(const PulseSinkFloor &) = delete;
    PulseSinkFloor &operator=(const PulseSinkFloor &) = delete;

    // The alarm's stream is ready: watch it, and raise its sink.
    void begin(pa_context *context, pa_stream *stream);
    // The alarm stopped: give the sink back and stop watching.
    void end();
    // The connection is gone: nothing can be given back any more.
    void forget();
    // Give-back requests that the server has not yet carried out.
    bool settling();

private:
    struct Callbacks;
    friend struct Callbacks;
    struct Held {
        std::uint32_t index = 0;
        QByteArray name;
        bool known = false; // `before` has been read
        OutputLevel before, set, now;
    };

    void hold(std::uint32_t sinkIndex);
    void lookAtSink();
    void lookAtStream();
    void sinkSeen(std::uint32_t index, const char *name, const OutputLevel &level);
    void streamSeen(std::uint32_t sinkIndex, const OutputLevel &level);
    void moved(std::uint32_t sinkIndex);
    // What is given back is waited for before the connection closes.
    void setSink(const OutputLevel &level, bool givingBack = false);
    void giveBack();
    void keep(pa_operation *operation, bool giveBack = false);
    void prune();

    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    std::uint32_t m_streamIndex = 0;
    std::optional<Held> m_held;
    std::vector<pa_operation *> m_queries;    // cancelled when the alarm stops
    std::vector<pa_operation *> m_givingBack; // waited for before the connection closes
};

// --keep-mixer: the sinks' volume and mute are left as they are; the alarm's
// own stream is still kept audible.
void setMixerLeftAlone(bool leftAlone);
bool mixerLeftAlone();

} // namespace zelmoro::platform
