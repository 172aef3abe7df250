#include "controlprotocol.h"

#include "activitylog.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

namespace pressbird::control {

QString socketName(const QString &folder) {
    return folder + QStringLiteral("/control");
}

QString lockFileName(const QString &folder) {
    return folder + QStringLiteral("/instance.lock");
}

QByteArray encode(const QJsonObject &message) {
    return QJsonDocument(message).toJson(QJsonDocument::Compact).append('\n');
}

std::optional<QJsonObject> decode(const QByteArray &line) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

QJsonObject request(const QString &verb, const QString &argument, const QString &value) {
    QJsonObject message{{QStringLiteral("verb"), verb}};
    if (!argument.isNull())
        message.insert(QStringLiteral("argument"), argument);
    if (!value.isNull())
        message.insert(QStringLiteral("value"), value);
    return message;
}

QString field(QString text) {
    return text.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
}

std::optional<qsizetype> activityCount(const QString &text) {
    if (text.isEmpty())
        return 20;
    bool ok = false;
    const qsizetype count = text.toLongLong(&ok);
    if (!ok || count < 0)
        return std::nullopt;
    return count;
}

namespace {
QString pressLine(const ActivityEntry &entry) {
    return QStringList{entry.link ? QStringLiteral("link") : QStringLiteral("button"),
                       field(entry.entry), field(entry.element), field(entry.pageAddress)}
        .join(u'\t');
}
} // namespace

QString previewLine(const ActivityEntry &entry) {
    // A match a limit holds back says so in a fifth field.
    return entry.outcome.isEmpty() ? pressLine(entry)
                                   : pressLine(entry) + u'\t' + field(entry.outcome);
}

QString activityLine(const ActivityEntry &entry) {
    return entry.time.toString(Qt::ISODate) + u'\t' + pressLine(entry) + u'\t' +
           field(entry.outcome) + u'\t' + field(entry.frame);
}

QJsonObject ack() {
    return {{QStringLiteral("ack"), true}};
}

QJsonObject success(const QString &text) {
    return {{QStringLiteral("ok"), true}, {QStringLiteral("text"), text}};
}

QJsonObject failure(const QString &error) {
    return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}};
}

} // namespace pressbird::control
