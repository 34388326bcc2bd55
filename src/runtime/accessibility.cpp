// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>

#include <algorithm>

namespace zelmoro::runtime {

namespace {

// What a screen reader finds in a label: static text named by its caption,
// whose caption can also be read as text, so that a changed caption is
// announced as a text change.
class LabelAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit LabelAccessible(QWidget *label) : QAccessibleWidget(label, QAccessible::StaticText) {}

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
    if (className == QLatin1String("zelmoro::runtime::Label"))
        return new LabelAccessible(widget);
    if (className == QLatin1String("zelmoro::runtime::Form"))
        return new QAccessibleWidget(
            widget, widget->windowType() == Qt::Tool ? QAccessible::Dialog : QAccessible::Window);
    return nullptr;
}

} // namespace

void installAccessibility()
{
    QAccessible::installFactory(accessibleFor);
}

} // namespace zelmoro::runtime
