// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/form.h"

#include "platform/window_hints.h"
#include "runtime/default_instance.h"

#include <QCloseEvent>

#include <cmath>

namespace zelmoro::runtime {

double twipsPerPixel(double logicalDpi)
{
    return 1440.0 / logicalDpi;
}

namespace {

Qt::WindowFlags flagsFor(Taskbar taskbar)
{
    // A title with no system menu and no minimize, maximize or close button. A
    // tool window carries the window type that taskbars leave out.
    const Qt::WindowFlags base = Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    return base | (taskbar == Taskbar::Entry ? Qt::Window : Qt::Tool);
}

} // namespace

Form::Form(const QString &caption, int clientWidthTwips, int clientHeightTwips, Taskbar taskbar)
    : QWidget(nullptr, flagsFor(taskbar)), m_twipsPerPixel(runtime::twipsPerPixel(logicalDpiX()))
{
    setWindowTitle(caption);
    setAttribute(Qt::WA_QuitOnClose, false);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    setFixedSize(toPixels(clientWidthTwips), toPixels(clientHeightTwips));
}

double Form::twipsPerPixel() const
{
    return m_twipsPerPixel;
}

int Form::toPixels(int twips) const
{
    return static_cast<int>(std::lround(twips / m_twipsPerPixel));
}

bool Form::event(QEvent *event)
{
    if (event->type() == QEvent::ScreenChangeInternal)
        m_twipsPerPixel = runtime::twipsPerPixel(logicalDpiX());
    return QWidget::event(event);
}

float Form::ScaleWidth() const
{
    return static_cast<float>(width() * twipsPerPixel());
}

void Form::place(QWidget &control, int left, int top, int width, int height) const
{
    control.setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

void Form::placeAt(QWidget &control, int left, int top) const
{
    control.move(toPixels(left), toPixels(top));
}

void Form::setTabOrder(std::initializer_list<QWidget *> controls)
{
    m_tabOrder.assign(controls);
    for (std::size_t i = 1; i < m_tabOrder.size(); ++i)
        QWidget::setTabOrder(m_tabOrder[i - 1], m_tabOrder[i]);
}

void Form::closeEvent(QCloseEvent *event)
{
    // Only the end of the program closes a window; every other close request
    // (window manager, Alt+F4) is refused.
    if (hasEnded())
        event->accept();
    else
        event->ignore();
}

void Form::showEvent(QShowEvent *event)
{
    // Windows are worked from the keyboard too: show which control has the
    // focus from the moment the window opens, not only after the first Tab.
    setAttribute(Qt::WA_KeyboardFocusChange);
    platform::requestTitleOnlyFrame(*this);
    platform::requestTaskbarStates(*this);
    QWidget::showEvent(event);
    for (QWidget *control : m_tabOrder) {
        if (control->isVisibleTo(this) && control->isEnabled() &&
            control->focusPolicy() != Qt::NoFocus) {
            control->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
}

} // namespace zelmoro::runtime
