#include "MdslDev.h"

#include "VireoDevice.h"

MdslDev::MdslDev(VireoDevice* device) : m_device(device) {}
