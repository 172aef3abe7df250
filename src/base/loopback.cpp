#include "loopback.h"

#include <QHostAddress>

namespace pressbird {

bool isLoopbackHost(QStringView host) {
    if (host.compare(u"localhost", Qt::CaseInsensitive) == 0)
        return true;
    QHostAddress address;
    // setAddress accepts only numeric forms, so no name is ever looked up.
    if (!address.setAddress(host.toString()))
        return false;
    return address.isLoopback();
}

QString urlHost(const QString &host) {
    return host.contains(u':') ? u"["_qs + host + u"]"_qs : host;
}

std::optional<LoopbackAddress> parseLoopbackAddress(QStringView text) {
    text = text.trimmed();
    QStringView host;
    QStringView port;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u"]:");
        if (close < 0)
            return std::nullopt;
        host = text.mid(1, close - 1);
        port = text.mid(close + 2);
    } else {
        const qsizetype colon = text.lastIndexOf(u':');
        if (colon <= 0 || text.left(colon).contains(u':'))
            return std::nullopt;
        host = text.left(colon);
        port = text.mid(colon + 1);
    }
    bool ok = false;
    const uint number = port.toUInt(&ok);
    if (!ok || number == 0 || number > 65535 || !isLoopbackHost(host))
        return std::nullopt;
    LoopbackAddress address;
    address.port = static_cast<quint16>(number);
    if (host.compare(u"localhost", Qt::CaseInsensitive) == 0) {
        // Taken as the addresses it stands for, so that no name is ever looked up.
        address.host = u"127.0.0.1"_qs;
        address.tryIpv6Too = true;
    } else {
        // The canonical form: "127.1" or "::0:1" would reach the URL as a name.
        address.host = QHostAddress(host.toString()).toString();
    }
    return address;
}

} // namespace pressbird
