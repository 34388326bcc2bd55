// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/drop_down_list.h"

#include <QAbstractItemView>

namespace zelmoro::runtime {

DropDownList::DropDownList(QWidget *parent) : QComboBox(parent)
{
    setEditable(false);
    // Below the field, whatever the style's habit of opening the list over it.
    setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
}

void DropDownList::showPopup()
{
    QComboBox::showPopup();
    view()->scrollTo(view()->currentIndex(), QAbstractItemView::PositionAtTop);
}

} // namespace zelmoro::runtime
