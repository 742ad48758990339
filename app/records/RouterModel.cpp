#include "RouterModel.h"

RouterModel::RouterModel(QObject* parent) : QObject(parent) {}
