#pragma once

#include "async/task.h"

#include <QJsonObject>
#include <QLocalServer>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class QLocalSocket;

namespace pressbird {

// The running instance's end of the control socket. Only this user may
// connect (the socket's folder and mode say so, and each peer's uid is
// checked); each request line is acknowledged at once, then answered by the
// handler, which may take its time in the event loop. A client that goes
// away cancels the handler's work where it waits.
class ControlServer final : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<Task<QJsonObject>(QJsonObject request)>;

    explicit ControlServer(Handler handler, QObject *parent = nullptr);
    ~ControlServer() override;

    // Takes the name over from a socket a crashed run left behind.
    bool listen(const QString &name, QString *why = nullptr);
    QString fullServerName() const { return m_server.fullServerName(); }

private:
    struct Client {
        QLocalSocket *socket = nullptr;
        QByteArray buffer;
        std::optional<Task<>> work;
    };

    void accept();
    void readFrom(QLocalSocket *socket);
    Task<> answer(QLocalSocket *socket, QJsonObject request);
    void finish(QLocalSocket *socket, const QJsonObject &reply);
    void forget(QLocalSocket *socket);

    QLocalServer m_server;
    Handler m_handler;
    std::map<QLocalSocket *, std::unique_ptr<Client>> m_clients;
};

} // namespace pressbird
