#pragma once

#include <QIcon>
#include <QImage>

namespace pressbird {

// The program icon (a 32x32 and a 16x16 image) and the icon shown while the
// scan timer is off (one 32x32 image), reduced to the 16-colour palette.
QIcon ProgramIcon();
QIcon ProgramOffIcon();

// One image of an icon resource, rendered and reduced; null when unreadable.
QImage RenderIconImage(const QString &resource, int size);

// The 16 colours the icon images are reduced to.
const QList<QRgb> &IconPalette();

} // namespace pressbird
