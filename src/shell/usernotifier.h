#pragma once

#include <QString>

namespace pressbird {

// Says a word to the user on the desktop about something done for them.
class UserNotifier {
public:
    virtual ~UserNotifier() = default;
    virtual void notify(const QString &summary, const QString &body) = 0;
};

} // namespace pressbird
