#pragma once

#include "platform/form.h"

// The wake-up quiz.
class Form4 : public platform::Form {
    Q_OBJECT

public:
    Form4();
};
