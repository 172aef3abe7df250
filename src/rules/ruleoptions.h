#pragma once

#include <QHashFunctions>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <compare>
#include <optional>
#include <variant>

namespace pressbird {

// Which list a rule line is in.
enum class RuleListKind { Links, Buttons };

// A rule as its options know it: the list and the whole line text. Two equal
// lines of one list are one rule to the options, as they are to matching.
struct RuleKey {
    RuleListKind list = RuleListKind::Links;
    QString entry;
    friend bool operator==(const RuleKey &, const RuleKey &) = default;
    friend std::strong_ordering operator<=>(const RuleKey &a, const RuleKey &b) {
        if (a.list != b.list)
            return a.list <=> b.list;
        const int order = a.entry.compare(b.entry);
        return order < 0
                   ? std::strong_ordering::less
                   : (order > 0 ? std::strong_ordering::greater : std::strong_ordering::equal);
    }
};

inline size_t qHash(const RuleKey &key, size_t seed = 0) {
    return qHashMulti(seed, int(key.list), key.entry);
}

// Where a rule may press: a host, or "*." and a host for it and every host
// below it, with a port and a path prefix if the user wrote them:
// example.com, *.example.com, example.com/watch, localhost:8080/app.
// An http:// or https:// in front is allowed and changes nothing.
class SitePattern {
public:
    // The pattern, or why the text is none.
    static std::variant<SitePattern, QString> parse(const QString &text);

    // As the user wrote it, trimmed.
    const QString &text() const { return m_text; }
    // Whether a page at this address is one of the pattern's. Only web
    // addresses (http, https) have a host to match.
    bool matches(const QUrl &address) const;

    friend bool operator==(const SitePattern &a, const SitePattern &b) {
        return a.m_text == b.m_text;
    }

private:
    QString m_text;
    QString m_host; // as QUrl gives it: lowered, Unicode
    bool m_subdomains = false;
    int m_port = -1; // -1: any
    QString m_pathPrefix;
};

// The options of one rule. The defaults are a rule as it always was:
// everywhere, without limit, silently.
struct RuleOptions {
    static constexpr int kMostSites = 1000;
    static constexpr int kMostPresses = 1000000;

    QList<SitePattern> sites; // empty: everywhere
    int perLoad = 0;          // presses per page load at most; 0: no limit
    int perHour = 0;          // presses in any hour at most; 0: no limit
    bool notify = false;      // a desktop notification at every press

    bool isDefault() const { return sites.isEmpty() && perLoad == 0 && perHour == 0 && !notify; }
    // Whether the rule may press on a page at this address.
    bool allows(const QString &pageAddress) const;
    friend bool operator==(const RuleOptions &, const RuleOptions &) = default;
};

// The site patterns of a comma-separated text ("a.com, *.b.org/x"; empty:
// everywhere), or why not, naming the pattern.
std::variant<QList<SitePattern>, QString> parseSites(const QString &text);
QString sitesText(const QList<SitePattern> &sites); // "a.com, *.b.org/x"

// A limit as pressbird-ctl and the window write it: "none", "N" or "N/load"
// for presses per page load, "N/hour" for presses per hour.
struct PressLimit {
    enum class Per { Load, Hour };
    Per per = Per::Load;
    int count = 0; // 0: none (for "none", both go)
};
std::variant<PressLimit, QString> parseLimit(const QString &text);
// "2/load, 10/hour", "none".
QString limitText(const RuleOptions &options);

// The stored form, a JSON object; nullopt when the text is no options.
QString optionsToJson(const RuleOptions &options);
std::optional<RuleOptions> optionsFromJson(const QString &json);
// The same fields in an object of a rules file: what is set is added; what
// is read is checked, and a field that is wrong is named.
void addOptionsTo(QJsonObject &object, const RuleOptions &options);
std::variant<RuleOptions, QString> optionsFromObject(const QJsonObject &object);

} // namespace pressbird
