#include "hid/DebugLog.h"

#include <QtGlobal>

Q_LOGGING_CATEGORY(tesselDebug, "tessel.debug", QtWarningMsg)

namespace hid {

void enableDebugLogFromEnvironment()
{
    if (qEnvironmentVariableIntValue("TESSEL_DEBUG") == 1)
        QLoggingCategory::setFilterRules(QStringLiteral("tessel.debug.debug=true"));
}

}  // namespace hid
