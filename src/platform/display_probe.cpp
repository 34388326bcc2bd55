// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/display_probe.h"

#include <QStringList>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstring>

namespace zelmoro::platform {

namespace {

// The X display as DISPLAY names it ("host:1.0"), without the screen number.
QString reachableX11()
{
    const QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        return {};
    // A full connection, authorisation included: what the toolkit will need.
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool reached = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    if (!reached)
        return {};
    const qsizetype colon = display.lastIndexOf(QLatin1Char(':'));
    const qsizetype dot = display.indexOf(QLatin1Char('.'), colon);
    return dot < 0 ? display : display.left(dot);
}

// The compositor's socket, found as libwayland finds it.
QString reachableWayland(bool explicitlyAsked)
{
    QString name = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (name.isEmpty() && explicitlyAsked)
        name = QStringLiteral("wayland-0");
    if (name.isEmpty())
        return {};
    const QString path = name.startsWith(QLatin1Char('/'))
                             ? name
                             : qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/') + name;
    const QByteArray encoded = path.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (!path.startsWith(QLatin1Char('/')) || encoded.size() >= qsizetype(sizeof address.sun_path))
        return {};
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool reached =
        fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return reached ? name : QString();
}

} // namespace

QString reachableDisplay(const QString &platform, bool *preferX11)
{
    *preferX11 = false;
    if (platform.isEmpty()) {
        // On a Wayland session the frames and taskbar hints the windows ask for
        // are only honoured through Xwayland; the session is still named by its
        // compositor, so that copies started either way agree.
        const QString wayland = reachableWayland(false);
        const QString x11 = reachableX11();
        *preferX11 = !x11.isEmpty();
        return wayland.isEmpty() ? x11 : wayland;
    }
    for (const QString &entry : platform.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0);
        const QString display = name == QLatin1String("xcb")                ? reachableX11()
                                : name.startsWith(QLatin1String("wayland")) ? reachableWayland(true)
                                                                            : name;
        if (!display.isEmpty())
            return display;
    }
    return {};
}

} // namespace zelmoro::platform
