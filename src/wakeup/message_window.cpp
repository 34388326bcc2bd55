// SPDX-License-Identifier: GPL-3.0-or-later
#include "wakeup/message_window.h"

namespace zelmoro::wakeup {

MessageWindow::MessageWindow(const Layout &layout)
    : Form(QString::fromUtf8(layout.caption), layout.clientTwips.width(),
           layout.clientTwips.height(), layout.taskbar),
      m_Command1(this, QString::fromUtf8(layout.button), layout.buttonFont),
      m_Label1(this, QString::fromUtf8(layout.message), layout.messageFont,
               runtime::Label::Sizing::AutoSize, QColor(255, 0, 0))
{
    const QRect &button = layout.buttonTwips;
    place(m_Command1, button.x(), button.y(), button.width(), button.height());
    placeAt(m_Label1, layout.messageAt.x(), layout.messageAt.y());
    setTabOrder({&m_Label1, &m_Command1});
}

} // namespace zelmoro::wakeup
