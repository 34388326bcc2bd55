#pragma once

#include "platform/form.h"

// The alarm time dialog.
class Form2 : public platform::Form {
    Q_OBJECT

public:
    Form2();
};
