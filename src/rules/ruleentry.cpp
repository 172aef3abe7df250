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

QStringView TrimBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

} // namespace pressbird
