#pragma once

#include <QLoggingCategory>

// The device window's log category, "zeb.window".
Q_DECLARE_LOGGING_CATEGORY(zebWindow)
