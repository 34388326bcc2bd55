// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace zelmoro::platform {

void installFontSubstitutes()
{
    const QString gothicCjk = QStringLiteral("Noto Sans CJK JP");
    const struct {
        const char *face;
        const char *standIn;
    } substitutes[] = {
        {"Bauhaus 93", "Comfortaa"},       {"ＤＦＰまるもじ体", "MotoyaLMaru"},
        {"ＤＦPOP体", "RocknRoll One"},    {"ＤＦＰPOP体", "RocknRoll One"},
        {"ＭＳ Ｐゴシック", "IPAPGothic"},
    };
    for (const auto &entry : substitutes) {
        QFont::insertSubstitutions(QString::fromUtf8(entry.face),
                                   {QString::fromUtf8(entry.standIn), gothicCjk});
    }
}

QFont makeFont(const FontSpec &spec)
{
    const QString family = QString::fromUtf8(spec.family);
    QFont font(family);
    font.setPointSizeF(spec.pointSize);
    font.setBold(spec.bold);
    font.setItalic(spec.italic);
    // The rounded stand-in for the display face runs about a sixth wider.
    if (family == QLatin1String("Bauhaus 93") && !QFontDatabase::hasFamily(family))
        font.setStretch(85);
    return font;
}

} // namespace zelmoro::platform
