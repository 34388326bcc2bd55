// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <functional>

namespace zelmoro::runtime {

// Runs an event handler. An error that escapes it is reported in a message box
// and ends the program. Once the program has ended no handler runs.
void runHandler(const std::function<void()> &handler);

// Connects a control's signal to an event handler of a form. The handler runs
// under the runtime's error report, and not at all once the program has ended.
template <class Sender, class Signal, class F>
void connectHandler(const Sender *sender, Signal signal, F *form, void (F::*handler)())
{
    QObject::connect(sender, signal, form,
                     [form, handler] { runHandler([form, handler] { (form->*handler)(); }); });
}

} // namespace zelmoro::runtime
