#include "programicons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <limits>

namespace pressbird {

namespace {

const QString kOnResource = QStringLiteral(":/pressbird/icons/pressbird.svg");
const QString kOffResource = QStringLiteral(":/pressbird/icons/pressbird-off.svg");

QRgb nearestPaletteColour(QRgb colour) {
    QRgb best = IconPalette().first();
    int bestDistance = std::numeric_limits<int>::max();
    for (const QRgb candidate : IconPalette()) {
        const int dr = qRed(colour) - qRed(candidate);
        const int dg = qGreen(colour) - qGreen(candidate);
        const int db = qBlue(colour) - qBlue(candidate);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate;
        }
    }
    return best;
}

QIcon iconFromImages(const QString &resource, std::initializer_list<int> sizes) {
    QIcon icon;
    for (const int size : sizes) {
        const QImage image = RenderIconImage(resource, size);
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace

const QList<QRgb> &IconPalette() {
    static const QList<QRgb> palette = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
        qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
        qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
        qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255),
    };
    return palette;
}

QImage RenderIconImage(const QString &resource, int size) {
    QSvgRenderer renderer(resource);
    if (!renderer.isValid())
        return {};
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        renderer.render(&painter);
    }
    // Icon images of this kind have no partial transparency: each pixel is
    // either clear or one of the palette's colours.
    for (int y = 0; y < size; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size; ++x) {
            const QRgb pixel = line[x];
            if (qAlpha(pixel) < 128) {
                line[x] = qRgba(0, 0, 0, 0);
                continue;
            }
            line[x] = nearestPaletteColour(qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel)));
        }
    }
    return image;
}

QIcon ProgramIcon() {
    return iconFromImages(kOnResource, {32, 16});
}

QIcon ProgramOffIcon() {
    return iconFromImages(kOffResource, {32});
}

} // namespace pressbird
