#include "platform/startup.h"

#include "platform/fonts.h"

#include <QtGlobal>

// The resources live in a static library; they must be registered by hand
// (from the global namespace).
static void registerResources()
{
    Q_INIT_RESOURCE(zelmoro);
}

namespace platform {

void prepareRuntime()
{
    registerResources();
    installFontSubstitutes();
}

} // namespace platform
