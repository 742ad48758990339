#include "WindowLog.h"

Q_LOGGING_CATEGORY(zebWindow, "zeb.window")
