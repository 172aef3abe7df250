#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

namespace pressbird::connector {

// The browser's end of native messaging: two pipes, read and written without
// blocking, so a browser that stops reading never stalls the host.
class PipeChannel final : public QObject {
    Q_OBJECT

public:
    PipeChannel(int readFd, int writeFd, QObject *parent = nullptr);

    void write(const QByteArray &bytes);
    qsizetype pendingWrite() const { return m_outgoing.size(); }

Q_SIGNALS:
    void received(const QByteArray &bytes);
    // The browser closed its end: it is done with the host.
    void closed();
    // Everything written has gone to the browser.
    void drained();

private:
    void readSome();
    void writeSome();

    int m_readFd;
    int m_writeFd;
    QSocketNotifier *m_readable;
    QSocketNotifier *m_writable;
    QByteArray m_outgoing;
};

} // namespace pressbird::connector
