// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

namespace zelmoro::platform {

// What the clock does about sleep: which way it wakes the computer for the
// alarm, what keeps it awake, and what the desktop did not offer.
Q_DECLARE_LOGGING_CATEGORY(zelmoroPower)

} // namespace zelmoro::platform
