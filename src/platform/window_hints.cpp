// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/window_hints.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <cstdlib>

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

} // namespace

void requestTitleOnlyFrame(QWidget &window)
{
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    xcb_connection_t *connection = x11->connection();
    if (!connection)
        return;
    static constexpr char name[] = "_MOTIF_WM_HINTS";
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
    if (!atom)
        return;
    const std::array<std::uint32_t, 5> hints{hintFunctions | hintDecorations, functionMove,
                                             decorationBorder | decorationTitle, 0, 0};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(window.winId()), atom->atom, atom->atom, 32,
                        hints.size(), hints.data());
    xcb_flush(connection);
    std::free(atom);
}

} // namespace zelmoro::platform
