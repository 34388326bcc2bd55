// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

namespace zelmoro::platform {

// Where the sound output reports that it was lost, that it is back, and what
// it plays through.
Q_DECLARE_LOGGING_CATEGORY(zelmoroSound)

} // namespace zelmoro::platform
