// The scan asks RuleMatchCache; the rule test is RuleMatches. For any rule
// line, tick and element text, and any order of asking, they must agree.

#include "rulematchcache.h"
#include "rulematches.h"

#include <QString>

#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

using namespace pressbird;

namespace {
QString takeText(FuzzedDataProvider &data) {
    const std::string bytes = data.ConsumeRandomLengthString(256);
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    RuleMatchCache cache;
    QString texts[4];
    QString entries[4];
    for (QString &text : texts)
        text = takeText(data);
    for (QString &entry : entries)
        entry = takeText(data);
    while (data.remaining_bytes() > 0) {
        const auto rule = data.ConsumeIntegralInRange<std::int16_t>(0, 3);
        const QString &entry = entries[data.ConsumeIntegralInRange(0, 3)];
        const QString &text = texts[data.ConsumeIntegralInRange(0, 3)];
        const bool ticked = data.ConsumeBool();
        if (cache.RuleMatches(rule, entry, ticked, text) != RuleMatches(entry, ticked, text))
            std::abort();
    }
    return 0;
}
