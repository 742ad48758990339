#include "SdkVireoDrivers.h"

#include "BrowserModel.h"
#include "OvaltaVireoBrowse.h"
#include "OvaltaVireoConmon.h"
#include "OvaltaVireoRouter.h"
#include "RouterModel.h"
#include "VireoThreads.h"

SdkVireoDrivers::SdkVireoDrivers(const VireoDriverSettings& settings) : m_set(settings) {}

SdkVireoDrivers::~SdkVireoDrivers() {
    stop();
}

void SdkVireoDrivers::start(VireoThreads& controller, aud_env* env, int interface_index) {
    stop();
    m_set.create(env, interface_index);
    m_controller = &controller;
    VireoThreads* c = &controller;

    OvaltaVireoBrowse* browse = m_set.browse();
    QObject::connect(browse, &OvaltaVireoBrowse::deviceAdded, c, &VireoThreads::addDevice);
    QObject::connect(browse, &OvaltaVireoBrowse::deviceRemoved, c, &VireoThreads::removeDevice);
    QObject::connect(browse, &OvaltaVireoBrowse::deviceVendorId, c, &VireoThreads::updateVendorId);

    OvaltaVireoRouter* router = m_set.router();
    QObject::connect(router, &OvaltaVireoRouter::deviceNetworkInfo, c,
                     &VireoThreads::updateDeviceNetworkInfo);
    QObject::connect(router, &OvaltaVireoRouter::rxChannelNamesChanged, c,
                     &VireoThreads::devRxChannelsChanged);
    QObject::connect(router, &OvaltaVireoRouter::txChannelNamesChanged, c,
                     &VireoThreads::devTxChannelsChanged);

    OvaltaVireoConmon* conmon = m_set.conmon();
    QObject::connect(conmon, &OvaltaVireoConmon::conmonTimeout, c, &VireoThreads::conmonTimeOut);
    QObject::connect(conmon, &OvaltaVireoConmon::productId, c, &VireoThreads::handleProductId);
    QObject::connect(conmon, &OvaltaVireoConmon::handleMacAddress, c,
                     &VireoThreads::handleMacAddress);
    QObject::connect(conmon, &OvaltaVireoConmon::vireoInfo, c, &VireoThreads::handleVireoInfo);
    QObject::connect(conmon, &OvaltaVireoConmon::mcuVersion, c, &VireoThreads::handleMCUVersion);

    m_set.startAll();
}

void SdkVireoDrivers::stop() {
    m_set.stop(m_controller);
    m_controller = nullptr;
}

int SdkVireoDrivers::pendingConmonRequests() const {
    return m_set.pendingConmonRequests();
}

bool SdkVireoDrivers::conmonReady() const {
    return m_set.conmonReady();
}

aud_error_t SdkVireoDrivers::sendConmonRequest(const QString& device_name, const QByteArray& body) {
    return m_set.sendConmonRequest(device_name, body);
}

aud_error_t SdkVireoDrivers::sendVendorCommand(const QString& device_name, const QString& text) {
    return m_set.sendVendorCommand(device_name, text);
}

void SdkVireoDrivers::openDevice(const QString& device_name) {
    m_set.openDevice(device_name);
}

void SdkVireoDrivers::closeDevice(const QString& device_name) {
    m_set.closeDevice(device_name);
}

QString SdkVireoDrivers::browsedDeviceName(const BrowserModel* browser) const {
    return browser ? browser->deviceName() : QString();
}

QString SdkVireoDrivers::browsedVendorId(const BrowserModel* browser) const {
    return browser ? browser->vendorId() : QString();
}

QHostAddress SdkVireoDrivers::routedAddress(const RouterModel* router) const {
    return router ? router->getIpAddress() : QHostAddress();
}
