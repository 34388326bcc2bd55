// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runtime/command_button.h"
#include "runtime/form.h"
#include "runtime/label.h"

#include <QPoint>
#include <QRect>

namespace zelmoro::wakeup {

// A small window with one red message and one button below it: the alarm
// notice and the two answers of the quiz.
class MessageWindow : public runtime::Form {
    Q_OBJECT

public:
    struct Layout {
        const char *caption;
        QSize clientTwips;
        runtime::Taskbar taskbar;
        const char *message;
        platform::FontSpec messageFont;
        QPoint messageAt;
        const char *button;
        platform::FontSpec buttonFont;
        QRect buttonTwips;
    };

    explicit MessageWindow(const Layout &layout);

    runtime::CommandButton &Command1() { return m_Command1; }
    runtime::Label &Label1() { return m_Label1; }

private:
    // Created in the layout's order.
    runtime::CommandButton m_Command1;
    runtime::Label m_Label1;
};

} // namespace zelmoro::wakeup
