#include "ControllerLog.h"

Q_LOGGING_CATEGORY(zebController, "zeb.controller")
