// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

namespace zelmoro::platform {

struct FontSpec {
    const char *family;
    double pointSize;
    bool bold = false;
    bool italic = false;
};

// A font of a named face. Where "Bauhaus 93" is missing, its rounded stand-in
// runs about a sixth wider and is narrowed to keep the captions' widths; the
// other faces' stand-ins are used as they are.
QFont makeFont(const FontSpec &spec);

// The faces the windows name, and the free faces that stand in for each where
// it is not installed.
void installFontSubstitutes();

} // namespace zelmoro::platform
