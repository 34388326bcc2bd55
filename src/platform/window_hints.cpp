// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/window_hints.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace zelmoro::platform {

namespace {

// The window manager hints of the Motif toolkit, which window managers still read.
enum : std::uint32_t {
    hintFunctions = 1,
    hintDecorations = 2,
    functionMove = 4,
    decorationBorder = 2,
    decorationTitle = 8,
};

xcb_connection_t *x11Connection()
{
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    return x11->connection();
}

xcb_atom_t atom(xcb_connection_t *connection, std::string_view name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()),
        nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
}

} // namespace

void requestTitleOnlyFrame(QWidget &window)
{
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return;
    const xcb_atom_t motifHints = atom(connection, "_MOTIF_WM_HINTS");
    if (motifHints == XCB_ATOM_NONE)
        return;
    const std::array<std::uint32_t, 5> hints{hintFunctions | hintDecorations, functionMove,
                                             decorationBorder | decorationTitle, 0, 0};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(window.winId()), motifHints, motifHints, 32,
                        hints.size(), hints.data());
    xcb_flush(connection);
}

void requestTaskbarStates(QWidget &window)
{
    xcb_connection_t *connection = x11Connection();
    if (!connection || window.windowType() != Qt::Tool)
        return;
    const xcb_atom_t state = atom(connection, "_NET_WM_STATE");
    const std::array<xcb_atom_t, 2> skip{atom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                                         atom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    if (state == XCB_ATOM_NONE || skip[0] == XCB_ATOM_NONE || skip[1] == XCB_ATOM_NONE)
        return;
    // The toolkit merges its own states into these when it maps the window.
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(window.winId()), state, XCB_ATOM_ATOM, 32,
                        skip.size(), skip.data());
    xcb_flush(connection);
}

} // namespace zelmoro::platform
