#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace pressbird::connector {

// The browser's native messaging and the socket between the host and
// Pressbird carry the same frames: a 32-bit length in this machine's byte
// order, then that many bytes of UTF-8 JSON, one object per frame.

// Chromium refuses a message over 1 MB from a host and closes the port.
inline constexpr qsizetype kMostToBrowserBytes = 1024 * 1024;
// The largest answer the extension sends is a block of rows or a piece of a
// long field: a few megabytes even when every character is escaped.
inline constexpr qsizetype kMostFromBrowserBytes = 32 * 1024 * 1024;

// Pressbird's socket for the hosts, in its private runtime folder.
QString socketName(const QString &runtimeFolder);

QByteArray frame(const QByteArray &json);
QByteArray frame(const QJsonObject &message);

// Splits a byte stream into frames. A declared length over the limit breaks
// the stream for good (what follows cannot be trusted to be a frame); a frame
// that is not a JSON object is reported and the stream goes on after it.
class FrameReader final {
public:
    enum class Status { Frame, NeedMore, NotAnObject, TooLarge };

    explicit FrameReader(qsizetype mostBytes)
        : m_mostBytes(mostBytes) {}

    void append(const QByteArray &bytes) { m_buffer.append(bytes); }
    // The next frame's bytes in `json`; NotAnObject leaves them there too,
    // so the caller can say which one was refused.
    Status next(QByteArray &json);
    bool broken() const { return m_broken; }
    // Of the frame TooLarge refused.
    quint64 declaredLength() const { return m_declared; }
    qsizetype buffered() const { return m_buffer.size(); }

private:
    QByteArray m_buffer;
    qsizetype m_mostBytes;
    quint64 m_declared = 0;
    bool m_broken = false;
};

// A frame's JSON object; nullopt when it is none.
std::optional<QJsonObject> parseObject(const QByteArray &json);

// A frame's "id" when it is a whole number, for an answer that names it.
std::optional<qint64> idOf(const QByteArray &json);

QJsonObject errorAnswer(const std::optional<qint64> &id, const QString &error);

} // namespace pressbird::connector
