#pragma once

#include <QJsonObject>
#include <QLocalSocket>
#include <QObject>
#include <QTimer>

namespace pressbird {

// Asks the running instance one thing over the control socket, in the event
// loop: it keeps dialling for connectMs (an instance that is starting may
// not listen yet), wants the acknowledgement within the ack time-out and the
// answer within resultMs. Emits exactly one of answered() and failed().
class ControlClient final : public QObject {
    Q_OBJECT

public:
    enum class Failure { NotRunning, NoAnswer, BadAnswer };

    explicit ControlClient(QString socketName, QObject *parent = nullptr);

    void ask(const QJsonObject &request, int connectMs, int resultMs);

Q_SIGNALS:
    void answered(const QJsonObject &reply);
    void failed(pressbird::ControlClient::Failure failure, const QString &why);

private:
    void dial();
    void onReadable();
    void fail(Failure failure, const QString &why);

    QString m_name;
    QLocalSocket m_socket;
    QTimer m_deadline;
    QTimer m_redial;
    QJsonObject m_request;
    QByteArray m_buffer;
    int m_resultMs = 0;
    bool m_acknowledged = false;
    bool m_finished = false;
};

} // namespace pressbird
