// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/power/power_log.h"

namespace zelmoro::platform {

Q_LOGGING_CATEGORY(zelmoroPower, "zelmoro.power")

} // namespace zelmoro::platform
