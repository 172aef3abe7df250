#pragma once

#include <QString>
#include <QStringList>

namespace pressbird {

// The text form of a rule line: name, separator, kind, nothing around them.
inline constexpr QStringView kTypeSeparator = u" -Type: ";

// Match-kind captions as the pick lists offer them. The link list's last
// caption keeps its trailing blank; stored rules carry it, so it must stay.
QStringList linkKindCaptions();
QStringList buttonKindCaptions();

QString MakeEntryText(const QString &name, const QString &kind);

// Only the space character is a blank: tabs, line breaks and no-break
// spaces are part of the text.
QStringView TrimBlanks(QStringView text);

} // namespace pressbird
