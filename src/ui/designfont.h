#pragma once

#include <QFont>
#include <QStringList>

namespace pressbird {

// The sans font the layout names, falling back to whatever sans face the
// system has.
inline QFont DesignSansFont(double pointSize) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}

} // namespace pressbird
