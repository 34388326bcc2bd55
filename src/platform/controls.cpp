#include "platform/controls.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace platform {

Label::Label(QWidget *parent, const QString &caption, const FontSpec &font, Sizing sizing,
             const QColor &textColour)
    : QLabel(parent), m_sizing(sizing)
{
    setFont(makeFont(font));
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    if (textColour.isValid())
        colours.setColor(QPalette::WindowText, textColour);
    setPalette(colours);
    setTextFormat(Qt::PlainText);
    setCaption(caption);
}

void Label::setCaption(const QString &caption)
{
    if (caption == text() && !caption.isEmpty())
        return;
    setText(caption);
    setAccessibleName(caption);
    if (m_sizing == Sizing::AutoSize)
        resize(sizeHint());
}

CommandButton::CommandButton(QWidget *parent, const QString &caption, const FontSpec &font,
                             const QString &toolTip)
    : QPushButton(caption, parent)
{
    setFont(makeFont(font));
    // Enter clicks the button that has the focus, as Space does; outside a
    // dialog this makes no button the window's default.
    setAutoDefault(true);
    setDefault(false);
    if (!toolTip.isEmpty()) {
        setToolTip(toolTip);
        setAccessibleDescription(toolTip);
    }
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
    m_picture.paint(&painter, QRect(QPoint((width() - pictureSize.width()) / 2 + shift, top + shift),
                                    pictureSize));
    const QRect textRect(shift, top + pictureSize.height() + gap + shift, width(), textHeight);
    painter.drawItemText(textRect, Qt::AlignHCenter | Qt::AlignTop, palette(), isEnabled(), text(),
                         QPalette::ButtonText);
}

} // namespace platform
