#include "pipechannel.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace pressbird::connector {

namespace {
void setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}
} // namespace

PipeChannel::PipeChannel(int readFd, int writeFd, QObject *parent)
    : QObject(parent)
    , m_readFd(readFd)
    , m_writeFd(writeFd)
    , m_readable(new QSocketNotifier(readFd, QSocketNotifier::Read, this))
    , m_writable(new QSocketNotifier(writeFd, QSocketNotifier::Write, this)) {
    setNonBlocking(readFd);
    setNonBlocking(writeFd);
    m_writable->setEnabled(false);
    connect(m_readable, &QSocketNotifier::activated, this, &PipeChannel::readSome);
    connect(m_writable, &QSocketNotifier::activated, this, &PipeChannel::writeSome);
}

void PipeChannel::readSome() {
    char buffer[64 * 1024];
    const ssize_t got = ::read(m_readFd, buffer, sizeof buffer);
    if (got > 0) {
        Q_EMIT received(QByteArray(buffer, qsizetype(got)));
        return;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    m_readable->setEnabled(false);
    Q_EMIT closed();
}

void PipeChannel::write(const QByteArray &bytes) {
    m_outgoing.append(bytes);
    writeSome();
}

void PipeChannel::writeSome() {
    while (!m_outgoing.isEmpty()) {
        const ssize_t put = ::write(m_writeFd, m_outgoing.constData(), size_t(m_outgoing.size()));
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno != EAGAIN) {
            // The browser's end is gone: nothing more can reach it.
            m_outgoing.clear();
            m_writable->setEnabled(false);
            Q_EMIT closed();
            return;
        }
        if (put <= 0)
            break;
        m_outgoing.remove(0, qsizetype(put));
    }
    m_writable->setEnabled(!m_outgoing.isEmpty());
    if (m_outgoing.isEmpty())
        Q_EMIT drained();
}

} // namespace pressbird::connector
