#pragma once

#include <QFont>

namespace platform {

struct FontSpec {
    const char *family;
    double pointSize;
    bool bold = false;
    bool italic = false;
};

// A font of a named face. Where the face is missing and a wider stand-in takes
// its place, the stand-in is narrowed to keep the face's widths.
QFont makeFont(const FontSpec &spec);

// The faces the windows name, and the free faces that stand in for each where
// it is not installed.
void installFontSubstitutes();

} // namespace platform
