#include "VireoDeviceRoute.h"

VireoDeviceRoute::VireoDeviceRoute(QObject* parent) : QObject(parent) {}
