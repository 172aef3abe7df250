#pragma once

#include "connectorframes.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <optional>

class QFileSystemWatcher;
class QLocalSocket;

namespace pressbird::connector {

class PipeChannel;

// The host's whole work: frames from Pressbird go to the browser, frames from
// the browser go to Pressbird, each checked on the way. It lives as long as
// the browser keeps its end open, and finds Pressbird again whenever
// Pressbird (re)starts, so neither side has to start first.
//
// The browser is told where Pressbird stands ({"pressbird": "connected"} or
// "not running"); a message it sends while Pressbird is away, or one that
// is not a JSON object, gets an error answer instead of silence.
class Relay final : public QObject {
    Q_OBJECT

public:
    // socketName: Pressbird's socket; caller: what the browser said it is (its
    // command-line arguments), passed on to Pressbird.
    Relay(PipeChannel &browser, QString socketName, QStringList caller, QObject *parent = nullptr);
    ~Relay() override;

    void start();

Q_SIGNALS:
    // The host is done: 0 when the browser closed its end, else the stream broke.
    void finished(int status);

private:
    void fromBrowser(const QByteArray &bytes);
    void fromPressbird();
    void tryPressbird();
    void connectedToPressbird();
    void lostPressbird();
    void toBrowser(const QJsonObject &message);

    PipeChannel &m_browser;
    QString m_socketName;
    QStringList m_caller;
    QLocalSocket *m_pressbird = nullptr;
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer m_retry;
    FrameReader m_browserFrames{kMostFromBrowserBytes};
    std::optional<FrameReader> m_pressbirdFrames;
    // The extension's own greeting, passed on at every new connection.
    QByteArray m_extensionHello;
    bool m_connected = false;
};

} // namespace pressbird::connector
