#pragma once

#include "task.h"

#include <vector>

namespace pressbird {

// Runs tasks side by side and ends when every one has ended: the calls they
// make go out together, so a browser answering many of them wakes the
// program once rather than once each. Destroyed while it waits (a cancelled
// scan), it destroys every task with it.
Task<> together(std::vector<Task<>> tasks);

} // namespace pressbird
