#include "profiles/ProfilesLog.h"

Q_LOGGING_CATEGORY(profilesDebug, "tessel.debug", QtWarningMsg)
