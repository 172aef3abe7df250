#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

namespace pressbird::testing {

// A page of tests/pages (a benchmark names its own folder), as a file: address.
inline QString pageUrl(const QString &name) {
    return QUrl::fromLocalFile(QStringLiteral(PRESSBIRD_TEST_PAGES) + u'/' + name).toString();
}

// The same pages over HTTP on loopback, as a user's pages come: Firefox
// gives an extension no host permission for file: pages.
class PageServer {
public:
    ~PageServer() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool start() {
        m_process.setWorkingDirectory(QStringLiteral(PRESSBIRD_TEST_PAGES));
        m_process.start(u"python3"_qs, {u"-u"_qs, u"-m"_qs, u"http.server"_qs, u"0"_qs,
                                        u"--bind"_qs, u"127.0.0.1"_qs});
        QByteArray said;
        const QRegularExpression port(u"port (\\d+)"_qs);
        return QTest::qWaitFor(
            [&] {
                said += m_process.readAllStandardOutput();
                const QRegularExpressionMatch found = port.match(QString::fromUtf8(said));
                if (found.hasMatch())
                    m_port = found.captured(1);
                return !m_port.isEmpty();
            },
            10000);
    }
    QString url(const QString &page) const {
        return u"http://127.0.0.1:"_qs + m_port + u'/' + page;
    }

private:
    QProcess m_process;
    QString m_port;
};

} // namespace pressbird::testing
