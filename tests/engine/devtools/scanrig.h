#pragma once

#include "devtoolsbrowser.h"
#include "enginerig.h"

namespace pressbird::testing {

// The real scan engine over a DevToolsBrowser that sees only the given endpoints.
struct ScanRig : EngineRig<DevToolsBrowser> {
    explicit ScanRig(QList<Endpoint> endpoints, DevToolsTimeouts timeouts = {})
        : EngineRig(timeouts, [this] { return this->endpoints; })
        , endpoints(std::move(endpoints)) {}

    QList<Endpoint> endpoints;
};

} // namespace pressbird::testing
