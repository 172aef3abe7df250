#include "connectorframes.h"

#include <QJsonDocument>

#include <cstring>

namespace pressbird::connector {

QString socketName(const QString &runtimeFolder) {
    return runtimeFolder + QStringLiteral("/connector");
}

QByteArray frame(const QByteArray &json) {
    const quint32 length = quint32(json.size());
    QByteArray bytes(sizeof length, Qt::Uninitialized);
    std::memcpy(bytes.data(), &length, sizeof length);
    return bytes + json;
}

QByteArray frame(const QJsonObject &message) {
    return frame(QJsonDocument(message).toJson(QJsonDocument::Compact));
}

FrameReader::Status FrameReader::next(QByteArray &json) {
    if (m_broken)
        return Status::TooLarge;
    quint32 length = 0;
    if (m_buffer.size() < qsizetype(sizeof length))
        return Status::NeedMore;
    std::memcpy(&length, m_buffer.constData(), sizeof length);
    if (length > quint64(m_mostBytes)) {
        m_broken = true;
        m_declared = length;
        m_buffer.clear();
        return Status::TooLarge;
    }
    if (m_buffer.size() - qsizetype(sizeof length) < qsizetype(length))
        return Status::NeedMore;
    json = m_buffer.mid(sizeof length, length);
    m_buffer.remove(0, qsizetype(sizeof length) + length);
    return parseObject(json) ? Status::Frame : Status::NotAnObject;
}

std::optional<QJsonObject> parseObject(const QByteArray &json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

std::optional<qint64> idOf(const QByteArray &json) {
    const std::optional<QJsonObject> object = parseObject(json);
    const QJsonValue id = object ? object->value(u"id") : QJsonValue();
    if (!id.isDouble() || id.toDouble() != double(id.toInteger()))
        return std::nullopt;
    return id.toInteger();
}

QJsonObject errorAnswer(const std::optional<qint64> &id, const QString &error) {
    QJsonObject answer{{QStringLiteral("error"), error}};
    if (id)
        answer.insert(QStringLiteral("id"), *id);
    return answer;
}

} // namespace pressbird::connector
