#include "ruleoptions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace pressbird {

namespace {

// A pattern longer than any address a browser keeps is no pattern.
constexpr qsizetype kMostPatternChars = 2048;

QString notASite(const QString &text) {
    return QStringLiteral("\"%1\" is not a site: write a host such as example.com or "
                          "*.example.com, with a port or a path after it if you like")
        .arg(text.left(80));
}

bool isWeb(const QUrl &url) {
    return url.scheme() == u"http" || url.scheme() == u"https";
}

} // namespace

std::variant<SitePattern, QString> SitePattern::parse(const QString &text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > kMostPatternChars)
        return notASite(trimmed);
    QString rest = trimmed;
    for (const QLatin1String scheme : {QLatin1String("http://"), QLatin1String("https://")})
        if (rest.startsWith(scheme, Qt::CaseInsensitive))
            rest = rest.sliced(scheme.size());
    SitePattern pattern;
    pattern.m_text = trimmed;
    if (rest.startsWith(u"*.")) {
        pattern.m_subdomains = true;
        rest = rest.sliced(2);
    }
    // Any other wildcard, scheme, query or user name is not a site pattern.
    if (rest.contains(u'*') || rest.contains(u'?') || rest.contains(u'#') || rest.contains(u'@') ||
        rest.contains(QLatin1String("://")) || rest.startsWith(u'/') || rest.startsWith(u':'))
        return notASite(trimmed);
    const QUrl url(QStringLiteral("http://") + rest, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return notASite(trimmed);
    const QString host = url.host();
    // A host of letters, digits, hyphens and dots (or an IPv6 address), with
    // a label on both sides of every dot.
    const bool plain = std::all_of(host.cbegin(), host.cend(), [](QChar c) {
        return c.isLetterOrNumber() || c == u'-' || c == u'.' || c == u':';
    });
    if (!plain || host.startsWith(u'.') || host.endsWith(u'.') ||
        host.contains(QLatin1String("..")))
        return notASite(trimmed);
    pattern.m_host = host;
    pattern.m_port = url.port(-1);
    pattern.m_pathPrefix = url.path(QUrl::FullyEncoded);
    return pattern;
}

bool SitePattern::matches(const QUrl &address) const {
    if (!isWeb(address))
        return false;
    const QString host = address.host();
    const bool hostMatches =
        host == m_host || (m_subdomains && host.size() > m_host.size() && host.endsWith(m_host) &&
                           host.at(host.size() - m_host.size() - 1) == u'.');
    if (!hostMatches)
        return false;
    if (m_port >= 0 && address.port(address.scheme() == u"https" ? 443 : 80) != m_port)
        return false;
    if (m_pathPrefix.isEmpty())
        return true;
    // A prefix of whole segments: example.com/watch is /watch and below it,
    // not /watchlist.
    const QString path = address.path(QUrl::FullyEncoded);
    return path.startsWith(m_pathPrefix) &&
           (path.size() == m_pathPrefix.size() || m_pathPrefix.endsWith(u'/') ||
            path.at(m_pathPrefix.size()) == u'/');
}

bool RuleOptions::allows(const QString &pageAddress) const {
    if (sites.isEmpty())
        return true;
    const QUrl address(pageAddress);
    return std::any_of(sites.cbegin(), sites.cend(),
                       [&](const SitePattern &site) { return site.matches(address); });
}

std::variant<QList<SitePattern>, QString> parseSites(const QString &text) {
    QList<SitePattern> sites;
    const QStringList parts = text.split(u',', Qt::SkipEmptyParts);
    if (parts.size() > RuleOptions::kMostSites)
        return QStringLiteral("a rule takes at most %1 sites, not %2")
            .arg(RuleOptions::kMostSites)
            .arg(parts.size());
    for (const QString &part : parts) {
        if (part.trimmed().isEmpty())
            continue;
        std::variant<SitePattern, QString> site = SitePattern::parse(part);
        if (const QString *why = std::get_if<QString>(&site))
            return *why;
        sites.append(std::get<SitePattern>(std::move(site)));
    }
    return sites;
}

QString sitesText(const QList<SitePattern> &sites) {
    QStringList texts;
    for (const SitePattern &site : sites)
        texts.append(site.text());
    return texts.join(QStringLiteral(", "));
}

std::variant<PressLimit, QString> parseLimit(const QString &text) {
    const QString trimmed = text.trimmed().toLower();
    if (trimmed == u"none")
        return PressLimit{};
    PressLimit limit;
    QString number = trimmed;
    if (const qsizetype slash = trimmed.indexOf(u'/'); slash >= 0) {
        const QString per = trimmed.sliced(slash + 1).trimmed();
        if (per == u"hour")
            limit.per = PressLimit::Per::Hour;
        else if (per != u"load")
            return QStringLiteral("a limit is N for N presses per page load, N/hour for N per "
                                  "hour, or none; not \"%1\"")
                .arg(text.left(40));
        number = trimmed.first(slash).trimmed();
    }
    bool ok = false;
    const qlonglong count = number.toLongLong(&ok);
    if (!ok)
        return QStringLiteral("a limit is N for N presses per page load, N/hour for N per hour, "
                              "or none; not \"%1\"")
            .arg(text.left(40));
    if (count < 1 || count > RuleOptions::kMostPresses)
        return QStringLiteral("a limit is a number of presses from 1 to %1 (none for no limit), "
                              "not %2")
            .arg(RuleOptions::kMostPresses)
            .arg(number.left(40));
    limit.count = int(count);
    return limit;
}

QString limitText(const RuleOptions &options) {
    QStringList limits;
    if (options.perLoad > 0)
        limits.append(QStringLiteral("%1/load").arg(options.perLoad));
    if (options.perHour > 0)
        limits.append(QStringLiteral("%1/hour").arg(options.perHour));
    return limits.isEmpty() ? QStringLiteral("none") : limits.join(QStringLiteral(", "));
}

QString optionsToJson(const RuleOptions &options) {
    QJsonObject object;
    addOptionsTo(object, options);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

std::variant<RuleOptions, QString> optionsFromObject(const QJsonObject &object) {
    RuleOptions options;
    const QJsonValue sites = object.value(u"sites");
    if (!sites.isUndefined()) {
        if (!sites.isArray())
            return QStringLiteral("sites is not a list");
        if (sites.toArray().size() > RuleOptions::kMostSites)
            return QStringLiteral("sites holds more than %1 sites").arg(RuleOptions::kMostSites);
        for (const QJsonValue &site : sites.toArray()) {
            if (!site.isString())
                return QStringLiteral("sites holds something that is not a text");
            std::variant<SitePattern, QString> parsed = SitePattern::parse(site.toString());
            if (const QString *why = std::get_if<QString>(&parsed))
                return QStringLiteral("sites: %1").arg(*why);
            options.sites.append(std::get<SitePattern>(std::move(parsed)));
        }
    }
    for (const auto &[key, into] : {std::pair{QStringLiteral("perLoad"), &options.perLoad},
                                    std::pair{QStringLiteral("perHour"), &options.perHour}}) {
        const QJsonValue value = object.value(key);
        if (value.isUndefined())
            continue;
        const double count = value.toDouble(-1);
        if (!value.isDouble() || count != double(qint64(count)) || count < 1 ||
            count > RuleOptions::kMostPresses)
            return QStringLiteral("%1 is not a number of presses from 1 to %2")
                .arg(key)
                .arg(RuleOptions::kMostPresses);
        *into = int(count);
    }
    const QJsonValue notify = object.value(u"notify");
    if (!notify.isUndefined() && !notify.isBool())
        return QStringLiteral("notify is neither true nor false");
    options.notify = notify.toBool();
    return options;
}

std::optional<RuleOptions> optionsFromJson(const QString &json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    std::variant<RuleOptions, QString> options = optionsFromObject(document.object());
    if (std::holds_alternative<QString>(options))
        return std::nullopt;
    return std::get<RuleOptions>(std::move(options));
}

void addOptionsTo(QJsonObject &object, const RuleOptions &options) {
    QJsonArray sites;
    for (const SitePattern &site : options.sites)
        sites.append(site.text());
    if (!sites.isEmpty())
        object.insert(QStringLiteral("sites"), sites);
    if (options.perLoad > 0)
        object.insert(QStringLiteral("perLoad"), options.perLoad);
    if (options.perHour > 0)
        object.insert(QStringLiteral("perHour"), options.perHour);
    if (options.notify)
        object.insert(QStringLiteral("notify"), true);
}

} // namespace pressbird
