// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/fonts.h"

#include <QColor>
#include <QLabel>

namespace zelmoro::runtime {

// A label with a white back. A self-sizing label recomputes its width and height
// from caption and font whenever the caption changes; its left and top edges stay.
class Label : public QLabel {
    Q_OBJECT

public:
    enum class Sizing { Fixed, AutoSize };

    Label(QWidget *parent, const QString &caption, const platform::FontSpec &font, Sizing sizing,
          const QColor &textColour = QColor());

    QString Caption() const { return text(); }
    void setCaption(const QString &caption);

protected:
    void changeEvent(QEvent *event) override;

signals:
    // The caption was replaced by a different one.
    void captionChanged();

private:
    void showCaption(const QString &caption);

    Sizing m_sizing;
    // The caption's text size when the label was last sized to it.
    QSize m_sizedText;
};

} // namespace zelmoro::runtime
