#pragma once

#include <QString>

namespace pressbird {

// The one kind of message the shell shows: a modal warning with one OK button,
// titled with the program's title.
class ShellMessages {
public:
    virtual ~ShellMessages() = default;
    virtual void warning(const QString &text) = 0;
};

} // namespace pressbird
