#pragma once

#include <QLoggingCategory>

// The UI layer uses Qt alone, so it declares its own handle on the shared "tessel.debug"
// category instead of linking the HID layer; the filter rule that TESSEL_DEBUG=1 installs
// matches it by name.
Q_DECLARE_LOGGING_CATEGORY(uiDebug)
