// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <initializer_list>
#include <vector>

namespace zelmoro::runtime {

enum class Taskbar { Entry, None };

// Twips per pixel for a logical resolution: 1440 twips to the inch.
double twipsPerPixel(double logicalDpi);

// The base of every window: a fixed client area laid out in twips, white, with a
// title bar that carries no buttons, and with or without a taskbar entry. A
// close request from the window manager or the keyboard is ignored: each window
// is closed by its own buttons.
class Form : public QWidget {
    Q_OBJECT

public:
    Form(const QString &caption, int clientWidthTwips, int clientHeightTwips, Taskbar taskbar);

    // The client width actually obtained, in twips (single precision).
    float ScaleWidth() const;
    double twipsPerPixel() const;
    int toPixels(int twips) const;

    // Places a control at a position and size given in twips.
    void place(QWidget &control, int left, int top, int width, int height) const;
    // Places a self-sizing control at its left and top edges in twips.
    void placeAt(QWidget &control, int left, int top) const;

    // The layout's tab order, lowest position first. The first control that can
    // take the focus receives it whenever the window opens.
    void setTabOrder(std::initializer_list<QWidget *> controls);

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    std::vector<QWidget *> m_tabOrder;
    // The screen's resolution as twips per pixel; looked up again only when
    // the window moves to another screen or the resolution changes.
    double m_twipsPerPixel;
};

} // namespace zelmoro::runtime
