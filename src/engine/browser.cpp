#include "browser.h"

namespace pressbird {

QString outcomeText(PressOutcome outcome) {
    switch (outcome) {
    case PressOutcome::OpenedTab:
        return QStringLiteral("opened a tab");
    case PressOutcome::OpenedDialog:
        return QStringLiteral("opened a dialog");
    case PressOutcome::Blocked:
        return QStringLiteral("blocked");
    case PressOutcome::Failed:
    case PressOutcome::Pressed:
        break;
    }
    return {};
}

} // namespace pressbird
