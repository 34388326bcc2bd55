// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/startup.h"

#include "platform/fonts.h"
#include "runtime/accessibility.h"

#include <QtGlobal>

// The resources live in a static library; they must be registered by hand
// (from the global namespace).
static void registerResources()
{
    Q_INIT_RESOURCE(zelmoro);
}

namespace zelmoro::runtime {

void prepareRuntime()
{
    registerResources();
    platform::installFontSubstitutes();
    installAccessibility();
}

} // namespace zelmoro::runtime
