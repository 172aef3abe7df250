#pragma once

#include <QString>

namespace pressbird {

// What a run-at-log-on copy did: the two paths it used and, when it failed,
// a sentence saying why.
struct AutostartResult {
    bool ok = false;
    QString source;
    QString destination;
    QString error;
};

// Makes the program start at log-on by copying the shortcut its installer
// placed into the folder that the desktop starts programs from.
class Autostart {
public:
    virtual ~Autostart() = default;
    virtual AutostartResult installShortcut() = 0;
};

// The real one for the platform this is built for; CMake picks the source.
// programGroupName names the installer's Start Menu shortcut where there is one.
class SystemAutostart final : public Autostart {
public:
    explicit SystemAutostart(QString programGroupName);
    AutostartResult installShortcut() override;

private:
    QString m_programGroupName;
};

// Copies source over destination, replacing a file of that name and creating
// the destination's folder when needed. The old file stays whole if the copy
// fails part way.
AutostartResult copyReplacing(const QString &source, const QString &destination);

} // namespace pressbird
