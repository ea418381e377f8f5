#include "ui/UiLog.h"

Q_LOGGING_CATEGORY(uiDebug, "tessel.debug", QtWarningMsg)
