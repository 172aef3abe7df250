#pragma once

#include <QString>

#include <optional>

namespace pressbird {

// Only the loopback interface: whoever holds a browser's automation protocol
// controls the browser. Host names other than "localhost" are refused, never
// resolved.
bool isLoopbackHost(QStringView host);

// An IPv6 address goes in brackets inside a URL or a host:port.
QString urlHost(const QString &host);

// A loopback host and port, the host in its canonical numeric form.
struct LoopbackAddress {
    QString host;
    quint16 port = 0;
    // "localhost" was given: it stands for [::1] too, worth a second dial.
    bool tryIpv6Too = false;
};

// "host:port" or "[v6]:port"; nullopt when malformed or not loopback.
std::optional<LoopbackAddress> parseLoopbackAddress(QStringView text);

} // namespace pressbird
