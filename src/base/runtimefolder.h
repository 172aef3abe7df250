#pragma once

#include <QString>

#include <optional>
#include <sys/types.h>

namespace pressbird {

// Where the sockets and the instance lock live: $XDG_RUNTIME_DIR/pressbird,
// or a per-user folder under the temporary folder; created 0700 and checked
// to belong to this user. nullopt, with why, when no such folder can be had.
// Kept apart from the control protocol so the browser connector's host, a
// program of its own, finds the same folder without linking the engine.
std::optional<QString> runtimeFolder(QString *why = nullptr);

// The user of the process at the other end of a connected local socket;
// nullopt where the system cannot tell.
std::optional<uid_t> peerUid(int socketDescriptor);
// The process at the other end; 0 where the system cannot tell.
pid_t peerPid(int socketDescriptor);

} // namespace pressbird
