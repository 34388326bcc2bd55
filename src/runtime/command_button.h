// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/fonts.h"

#include <QIcon>
#include <QPushButton>

namespace zelmoro::runtime {

// A command button. Space and Enter act on the focused button only; no window has
// a default button.
class CommandButton : public QPushButton {
    Q_OBJECT

public:
    CommandButton(QWidget *parent, const QString &caption, const platform::FontSpec &font,
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

} // namespace zelmoro::runtime
