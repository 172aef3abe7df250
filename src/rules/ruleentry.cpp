#include "ruleentry.h"

namespace pressbird {

QStringList linkKindCaptions() {
    return {QStringLiteral("Starts With"), QStringLiteral("Ends With"),
            QStringLiteral("Exact Match"), QStringLiteral("Contains ")};
}

QStringList buttonKindCaptions() {
    return {QStringLiteral("Starts With"), QStringLiteral("Ends With"),
            QStringLiteral("Exact Match"), QStringLiteral("Contains")};
}

QString MakeEntryText(const QString &name, const QString &kind) {
    return QString(name).append(kTypeSeparator).append(kind);
}

} // namespace pressbird
