#include "relay.h"

#include "pipechannel.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QLocalSocket>

#include <cstdio>

namespace pressbird::connector {

namespace {
// A Pressbird started later is found within this time even where the
// folder cannot be watched.
constexpr int kRetryMs = 1000;
} // namespace

Relay::Relay(PipeChannel &browser, QString socketName, QStringList caller, QObject *parent)
    : QObject(parent)
    , m_browser(browser)
    , m_socketName(std::move(socketName))
    , m_caller(std::move(caller))
    , m_watcher(new QFileSystemWatcher(this)) {
    connect(&m_browser, &PipeChannel::received, this, &Relay::fromBrowser);
    connect(&m_browser, &PipeChannel::closed, this, [this] { Q_EMIT finished(0); });
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &Relay::tryPressbird);
    // Pressbird makes its socket in this folder when it starts.
    m_watcher->addPath(QFileInfo(m_socketName).absolutePath());
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!m_connected)
            tryPressbird();
    });
}

Relay::~Relay() = default;

void Relay::start() {
    toBrowser({{QStringLiteral("pressbird"), QStringLiteral("not running")}});
    tryPressbird();
    m_retry.start();
}

void Relay::tryPressbird() {
    if (m_connected || (m_pressbird && m_pressbird->state() == QLocalSocket::ConnectingState))
        return;
    if (m_pressbird)
        m_pressbird->deleteLater();
    m_pressbird = new QLocalSocket(this);
    QLocalSocket *socket = m_pressbird;
    connect(socket, &QLocalSocket::connected, this, &Relay::connectedToPressbird);
    connect(socket, &QLocalSocket::readyRead, this, &Relay::fromPressbird);
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
        if (socket == m_pressbird)
            lostPressbird();
    });
    socket->connectToServer(m_socketName);
}

void Relay::connectedToPressbird() {
    m_connected = true;
    m_retry.stop();
    m_pressbirdFrames.emplace(kMostToBrowserBytes);
    const QJsonObject hello{{QStringLiteral("hello"), QStringLiteral("pressbird-connector")},
                            {QStringLiteral("version"), 1},
                            {QStringLiteral("caller"), QJsonArray::fromStringList(m_caller)}};
    m_pressbird->write(frame(hello));
    if (!m_extensionHello.isEmpty())
        m_pressbird->write(frame(m_extensionHello));
    toBrowser({{QStringLiteral("pressbird"), QStringLiteral("connected")}});
}

void Relay::lostPressbird() {
    if (!m_connected)
        return;
    m_connected = false;
    m_pressbird->deleteLater();
    m_pressbird = nullptr;
    toBrowser({{QStringLiteral("pressbird"), QStringLiteral("not running")}});
    m_retry.start();
}

void Relay::toBrowser(const QJsonObject &message) {
    m_browser.write(frame(message));
}

void Relay::fromBrowser(const QByteArray &bytes) {
    if (m_browserFrames.broken())
        return; // the host is ending
    m_browserFrames.append(bytes);
    QByteArray json;
    for (;;) {
        switch (m_browserFrames.next(json)) {
        case FrameReader::Status::NeedMore:
            return;
        case FrameReader::Status::TooLarge: {
            // Whatever follows a length we refuse cannot be read as frames:
            // the browser starts a fresh host when the extension reconnects.
            const QString why = QStringLiteral("the browser sent a message of %1 bytes; at most %2 "
                                               "are taken")
                                    .arg(m_browserFrames.declaredLength())
                                    .arg(kMostFromBrowserBytes);
            std::fprintf(stderr, "pressbird-connector: %s\n", qPrintable(why));
            if (m_connected)
                m_pressbird->write(frame(errorAnswer(std::nullopt, why)));
            toBrowser(errorAnswer(std::nullopt, why));
            Q_EMIT finished(1);
            return;
        }
        case FrameReader::Status::NotAnObject:
            toBrowser(errorAnswer(idOf(json), QStringLiteral("the message is not a JSON object")));
            continue;
        case FrameReader::Status::Frame:
            break;
        }
        if (json.contains("\"hello\"") &&
            parseObject(json)->value(u"hello").toString() == u"extension")
            m_extensionHello = json;
        if (m_connected)
            m_pressbird->write(frame(json));
        else if (const std::optional<qint64> id = idOf(json))
            toBrowser(errorAnswer(id, QStringLiteral("Pressbird is not running")));
    }
}

void Relay::fromPressbird() {
    if (!m_connected || !m_pressbirdFrames)
        return;
    QLocalSocket *socket = m_pressbird;
    m_pressbirdFrames->append(socket->readAll());
    QByteArray json;
    for (;;) {
        switch (m_pressbirdFrames->next(json)) {
        case FrameReader::Status::NeedMore:
            return;
        case FrameReader::Status::TooLarge:
            // Chromium would close the port over it, and every tab with it.
            socket->write(frame(errorAnswer(
                std::nullopt, QStringLiteral("a message of %1 bytes is over the browser's limit")
                                  .arg(m_pressbirdFrames->declaredLength()))));
            socket->disconnectFromServer();
            return;
        case FrameReader::Status::NotAnObject:
            socket->write(
                frame(errorAnswer(idOf(json), QStringLiteral("the message is not a JSON object"))));
            continue;
        case FrameReader::Status::Frame:
            m_browser.write(frame(json));
            continue;
        }
    }
}

} // namespace pressbird::connector
