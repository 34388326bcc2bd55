#pragma once

#include "platform/controls.h"
#include "platform/form.h"

#include <QPoint>
#include <QRect>

// A small window with one red message and one button below it: the alarm
// notice and the two answers of the quiz.
class MessageWindow : public platform::Form {
    Q_OBJECT

public:
    struct Layout {
        const char *caption;
        QSize clientTwips;
        platform::Taskbar taskbar;
        const char *message;
        platform::FontSpec messageFont;
        QPoint messageAt;
        const char *button;
        platform::FontSpec buttonFont;
        QRect buttonTwips;
    };

    explicit MessageWindow(const Layout &layout);

    platform::CommandButton &Command1() { return m_Command1; }
    platform::Label &Label1() { return m_Label1; }

private:
    // Created in the layout's order.
    platform::CommandButton m_Command1;
    platform::Label m_Label1;
};
