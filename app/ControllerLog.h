#pragma once

#include <QLoggingCategory>

// The controller's log category, "zeb.controller".
Q_DECLARE_LOGGING_CATEGORY(zebController)
