#include "RouterLog.h"

Q_LOGGING_CATEGORY(zebRouter, "zeb.router")
