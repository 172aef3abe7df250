#include "rulematches.h"

namespace pressbird {
namespace {

// Only the space character is a blank: tabs, line breaks and no-break
// spaces are part of the text.
QStringView trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

} // namespace

bool RuleMatches(const QString &entry, bool ticked, const QString &elementText)
{
    if (!ticked)
        return false;

    const QString lowered = entry.toLower();
    static constexpr QStringView separator = u" -type: ";
    const qsizetype first = lowered.indexOf(separator);
    if (first < 0)
        return false;
    const qsizetype kindBegin = first + separator.size();
    const qsizetype kindEnd = lowered.indexOf(separator, kindBegin);
    const QStringView kind = trimBlanks(QStringView(lowered).sliced(
        kindBegin, (kindEnd < 0 ? lowered.size() : kindEnd) - kindBegin));

    const QString pattern = trimBlanks(QStringView(lowered).first(first)).toString().toUpper();
    const QString text = trimBlanks(elementText).toString().toUpper();
    const qsizetype n = pattern.size();

    if (kind == u"starts with")
        return QStringView(text).first(qMin(n, text.size())) == pattern;
    if (kind == u"ends with")
        return QStringView(text).last(qMin(n, text.size())) == pattern;
    if (kind == u"exact match")
        return text == pattern;
    if (kind == u"contains")
        return text.contains(pattern);
    return false;
}

} // namespace pressbird
