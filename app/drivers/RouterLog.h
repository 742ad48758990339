#pragma once

#include <QLoggingCategory>

// The router driver's log category, "zeb.router".
Q_DECLARE_LOGGING_CATEGORY(zebRouter)
