// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/label.h"

#include <QAccessible>
#include <QEvent>

namespace zelmoro::runtime {

Label::Label(QWidget *parent, const QString &caption, const platform::FontSpec &font, Sizing sizing,
             const QColor &textColour)
    : QLabel(parent), m_sizing(sizing)
{
    setFont(platform::makeFont(font));
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    if (textColour.isValid())
        colours.setColor(QPalette::WindowText, textColour);
    setPalette(colours);
    setTextFormat(Qt::PlainText);
    showCaption(caption);
}

void Label::setCaption(const QString &caption)
{
    const QString previous = text();
    if (caption == previous)
        return;
    showCaption(caption);
    QAccessibleTextUpdateEvent changed(this, 0, previous, caption);
    QAccessible::updateAccessibility(&changed);
    emit captionChanged();
}

void Label::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange && m_sizing == Sizing::AutoSize) {
        m_sizedText = QSize();
        showCaption(text());
    }
}

void Label::showCaption(const QString &caption)
{
    setText(caption);
    setAccessibleName(caption);
    if (m_sizing != Sizing::AutoSize)
        return;
    // The clock's time text changes every second and often its width with it.
    // With no frame or margin the label's size is its text's: one measurement
    // of the text gives it, where the size hint would lay the text out twice.
    const QSize textSize =
        fontMetrics().boundingRect(QRect(0, 0, 2000, 2000), Qt::AlignLeft, caption).size();
    if (textSize == m_sizedText)
        return;
    m_sizedText = textSize;
    resize(caption.isEmpty() ? sizeHint() : textSize);
}

} // namespace zelmoro::runtime
