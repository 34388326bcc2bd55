// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/sound_log.h"

namespace zelmoro::platform {

Q_LOGGING_CATEGORY(zelmoroSound, "zelmoro.sound")

} // namespace zelmoro::platform
