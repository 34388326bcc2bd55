// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/command_button.h"

#include "platform/fonts.h"

#include <QKeyEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace zelmoro::runtime {

CommandButton::CommandButton(QWidget *parent, const QString &caption,
                             const platform::FontSpec &font, const QString &toolTip)
    : QPushButton(caption, parent)
{
    setFont(platform::makeFont(font));
    // No button is a window's default; Enter acts on the focused one (below).
    setAutoDefault(false);
    setDefault(false);
    if (!toolTip.isEmpty()) {
        setToolTip(toolTip);
        setAccessibleDescription(toolTip);
    }
}

void CommandButton::keyPressEvent(QKeyEvent *event)
{
    // Enter clicks the button that has the focus, as Space does: Return and
    // the keypad's Enter alike (which X11 sends with the keypad modifier).
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && modifiers == Qt::NoModifier && !event->isAutoRepeat())
        animateClick();
    else
        QPushButton::keyPressEvent(event);
}

void CommandButton::setPicture(const QIcon &picture, QSize naturalSize)
{
    m_picture = picture;
    m_pictureSize = naturalSize;
    update();
}

void CommandButton::paintEvent(QPaintEvent *event)
{
    if (m_picture.isNull()) {
        QPushButton::paintEvent(event);
        return;
    }
    // The button's own face and focus frame, then picture and caption stacked.
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButton, option);

    // The picture keeps its size where the button is tall enough, and shrinks
    // to leave room for the caption where it is not.
    const int textHeight = fontMetrics().height();
    const int gap = 1;
    const int frame = 3;
    QSize pictureSize = m_pictureSize;
    const int room = height() - 2 * frame - gap - textHeight;
    if (room < pictureSize.height())
        pictureSize.scale(QSize(room, room), Qt::KeepAspectRatio);
    const int top = (height() - pictureSize.height() - gap - textHeight) / 2;
    const int shift = isDown() ? 1 : 0;
    m_picture.paint(
        &painter,
        QRect(QPoint((width() - pictureSize.width()) / 2 + shift, top + shift), pictureSize));
    const QRect textRect(shift, top + pictureSize.height() + gap + shift, width(), textHeight);
    painter.drawItemText(textRect, Qt::AlignHCenter | Qt::AlignTop, palette(), isEnabled(), text(),
                         QPalette::ButtonText);
}

} // namespace zelmoro::runtime
