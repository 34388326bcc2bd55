#pragma once

#include "platform/fonts.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QIcon>
#include <QPushButton>

namespace platform {

// A label with a white back. A self-sizing label recomputes its width and height
// from caption and font whenever the caption changes; its left and top edges stay.
class Label : public QLabel {
    Q_OBJECT

public:
    enum class Sizing { Fixed, AutoSize };

    Label(QWidget *parent, const QString &caption, const FontSpec &font, Sizing sizing,
          const QColor &textColour = QColor());

    QString Caption() const { return text(); }
    void setCaption(const QString &caption);

private:
    void showCaption(const QString &caption);

    Sizing m_sizing;
};

// A command button. Space and Enter act on the focused button only; no window has
// a default button.
class CommandButton : public QPushButton {
    Q_OBJECT

public:
    CommandButton(QWidget *parent, const QString &caption, const FontSpec &font,
                  const QString &toolTip = QString());

    // Graphical style: the picture, at its natural size where there is room,
    // centred above the caption.
    void setPicture(const QIcon &picture, QSize naturalSize);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QIcon m_picture;
    QSize m_pictureSize;
};

} // namespace platform
