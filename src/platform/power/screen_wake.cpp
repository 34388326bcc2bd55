// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/power/screen_wake.h"

#include "platform/power/power_log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>

#include <xcb/dpms.h>
#include <xcb/xcb.h>

namespace zelmoro::platform {

namespace {

xcb_connection_t *x11Connection()
{
    const auto *x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    return x11->connection();
}

void wakeX11Screen()
{
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return;
    xcb_force_screen_saver(connection, XCB_SCREEN_SAVER_RESET);
    const xcb_query_extension_reply_t *dpms = xcb_get_extension_data(connection, &xcb_dpms_id);
    if (dpms && dpms->present)
        xcb_dpms_force_level(connection, XCB_DPMS_DPMS_MODE_ON);
    xcb_flush(connection);
}

} // namespace

void wakeScreen()
{
    wakeX11Screen();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.send(QDBusMessage::createMethodCall(QStringLiteral("org.kde.Solid.PowerManagement"),
                                                QStringLiteral("/org/kde/Solid/PowerManagement"),
                                                QStringLiteral("org.kde.Solid.PowerManagement"),
                                                QStringLiteral("wakeup")));
}

} // namespace zelmoro::platform
