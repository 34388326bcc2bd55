// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>

namespace zelmoro::runtime {

// A combo box in drop-down-list style: the user picks an entry and cannot type
// free text. Its list opens below the closed field and starts at the selected
// entry, so the entries after it are in view.
class DropDownList : public QComboBox {
    Q_OBJECT

public:
    explicit DropDownList(QWidget *parent);

    void showPopup() override;
};

} // namespace zelmoro::runtime
