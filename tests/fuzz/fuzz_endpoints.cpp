// Endpoint lists (PRESSBIRD_BROWSERS) and DevToolsActivePort contents made of
// any bytes: nothing off the loopback is ever accepted, and the URLs built for
// what is accepted name a loopback address, never a name to look up.

#include "endpoints.h"

#include <QHostAddress>

#include <cstdlib>

using namespace pressbird;

namespace {

void checkUrl(const QString &scheme, const Endpoint &endpoint, const QString &path) {
    const QUrl url = endpointUrl(scheme, endpoint.host, endpoint.port, path);
    QHostAddress address;
    if (!url.isValid() || !address.setAddress(url.host()) || !address.isLoopback() ||
        url.port() != endpoint.port || url.path() != path)
        std::abort();
}

void check(const Endpoint &endpoint) {
    if (endpoint.port == 0 || !isLoopbackHost(endpoint.host))
        std::abort();
    checkUrl(u"http"_qs, endpoint, u"/json/version"_qs);
    if (!endpoint.browserPath.isEmpty()) {
        if (!isBrowserPath(endpoint.browserPath))
            std::abort();
        checkUrl(u"ws"_qs, endpoint, endpoint.browserPath);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    const QByteArrayView data(reinterpret_cast<const char *>(bytes), qsizetype(size));
    for (const QString &text : {QString::fromUtf8(data), QString::fromLatin1(data)}) {
        if (const std::optional<Endpoint> endpoint = parseEndpoint(text))
            check(*endpoint);
        for (const Endpoint &endpoint : discoverEndpoints(text, {}))
            check(endpoint);
    }
    if (const std::optional<Endpoint> endpoint = parseActivePort(data)) {
        if (endpoint->host != u"127.0.0.1" || endpoint->browserPath.isEmpty())
            std::abort();
        check(*endpoint);
    }
    return 0;
}
