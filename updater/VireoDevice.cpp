#include "VireoDevice.h"

#include "RouterModel.h"

namespace kolvo {

VireoDevice::VireoDevice(QObject* parent) : QObject(parent) {}

void VireoDevice::rxChannelsChanged(RouterModel* router) {
    keepRouterModel(router);
}

void VireoDevice::txChannelsChanged(RouterModel* router) {
    keepRouterModel(router);
}

void VireoDevice::keepRouterModel(RouterModel* router) {
    if (router && router->getDeviceName() == m_name) {
        m_router_model = router;
    }
}

}  // namespace kolvo
