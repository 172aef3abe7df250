#pragma once

#include <QByteArray>
#include <QTest>

namespace pressbird::testing {

// CI (any value but empty, 0 or false) must run every browser test.
inline bool browserRequired() {
    const QByteArray ci = qgetenv("CI").trimmed().toLower();
    return !ci.isEmpty() && ci != "0" && ci != "false";
}

} // namespace pressbird::testing

// Skips the test on a developer's machine without the browser; fails it in CI.
#define PRESSBIRD_REQUIRE_BROWSER(binary, failure, skip)                                           \
    do {                                                                                           \
        if ((binary).isEmpty()) {                                                                  \
            if (pressbird::testing::browserRequired())                                             \
                QFAIL(failure);                                                                    \
            QSKIP(skip);                                                                           \
        }                                                                                          \
    } while (false)
