#pragma once

#include <QLoggingCategory>

// Diagnostics (command and reply hex dumps, thread traces): category "tessel.debug", off by
// default; TESSEL_DEBUG=1 turns it on (see enableDebugLogFromEnvironment). Never shown to users.
Q_DECLARE_LOGGING_CATEGORY(tesselDebug)

namespace hid {
// Applies TESSEL_DEBUG from the environment; the application calls it once at start-up.
void enableDebugLogFromEnvironment();
}  // namespace hid
