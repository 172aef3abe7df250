#pragma once

#include <QString>

#include <optional>

namespace pressbird {

// Moves a damaged database and its journal files to PATH.corrupt-DATE-TIME
// (never over an earlier one), all or none; the new name, or nullopt.
std::optional<QString> moveAside(const QString &path);

} // namespace pressbird
