#pragma once

// moc reads every header a QObject's header includes, and its parser stops at
// the concepts that <coroutine> brings in; it needs none of it.
#ifndef Q_MOC_RUN
#include <coroutine>
#endif
