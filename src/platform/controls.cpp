#include "platform/controls.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

namespace platform {

namespace {

// What a screen reader finds in a label: static text named by its caption,
// whose caption can also be read as text, so that a changed caption is
// announced as a text change.
class LabelAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit LabelAccessible(QWidget *label)
        : QAccessibleWidget(label, QAccessible::StaticText)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        const QString own = QAccessibleWidget::text(t);
        return t == QAccessible::Name && own.isEmpty() ? caption() : own;
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    // A label names the control it is the buddy of.
    QList<QPair<QAccessibleInterface *, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override
    {
        auto related = QAccessibleWidget::relations(match);
        QWidget *buddy = static_cast<QLabel *>(widget())->buddy();
        if (buddy && (match & QAccessible::Labelled))
            related.append({QAccessible::queryAccessibleInterface(buddy), QAccessible::Labelled});
        return related;
    }

    QString text(int startOffset, int endOffset) const override
    {
        const QString all = caption();
        const auto size = static_cast<int>(all.size());
        const int from = std::clamp(startOffset, 0, size);
        const int to = endOffset < 0 ? size : std::clamp(endOffset, from, size);
        return all.mid(from, to - from);
    }
    int characterCount() const override { return static_cast<int>(caption().size()); }
    void selection(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return QString();
    }

private:
    QString caption() const { return static_cast<QLabel *>(widget())->text(); }
};

// Labels as above; every window as a window (frame) or, for the small windows
// without a taskbar entry, as a dialog, so that a screen reader names it by
// its caption when it opens.
QAccessibleInterface *accessibleFor(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (className == QLatin1String("platform::Label"))
        return new LabelAccessible(widget);
    if (className == QLatin1String("platform::Form"))
        return new QAccessibleWidget(widget, widget->windowType() == Qt::Tool ? QAccessible::Dialog
                                                                              : QAccessible::Window);
    return nullptr;
}

void installAccessibleFactory()
{
    QAccessible::installFactory(accessibleFor);
}
Q_CONSTRUCTOR_FUNCTION(installAccessibleFactory)

} // namespace

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
}

void Label::showCaption(const QString &caption)
{
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
    // Enter clicks the button that has the focus, as Space does.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier && !event->isAutoRepeat())
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
    m_picture.paint(&painter, QRect(QPoint((width() - pictureSize.width()) / 2 + shift, top + shift),
                                    pictureSize));
    const QRect textRect(shift, top + pictureSize.height() + gap + shift, width(), textHeight);
    painter.drawItemText(textRect, Qt::AlignHCenter | Qt::AlignTop, palette(), isEnabled(), text(),
                         QPalette::ButtonText);
}

} // namespace platform
