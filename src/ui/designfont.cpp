#include "designfont.h"

#include <QFontDatabase>
#include <QStringList>

namespace pressbird {

QFont DesignSansFont(double pointSize) {
    // Font matching would hand a missing face's name to any sans face, often
    // a wide one; pick the first present face with the narrow metrics instead.
    static const QStringList preferred = {
        QStringLiteral("MS Sans Serif"),   QStringLiteral("Microsoft Sans Serif"),
        QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
        QStringLiteral("Nimbus Sans"),
    };
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    for (const QString &family : preferred) {
        if (QFontDatabase::hasFamily(family)) {
            font.setFamily(family);
            break;
        }
    }
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}

} // namespace pressbird
