#include "SdkVireoDrivers.h"

#include "BrowserModel.h"
#include "OvaltaVireoBrowse.h"
#include "OvaltaVireoCmm.h"
#include "OvaltaVireoConmon.h"
#include "OvaltaVireoRouter.h"
#include "RouterModel.h"
#include "VireoThreads.h"

SdkVireoDrivers::SdkVireoDrivers(const VireoDriverSettings& settings) : m_settings(settings) {}

SdkVireoDrivers::~SdkVireoDrivers() {
    stop();
}

void SdkVireoDrivers::start(VireoThreads& controller, aud_env* env, int interface_index) {
    stop();
    m_controller = &controller;
    VireoThreads* c = &controller;

    m_cmm = std::make_unique<OvaltaVireoCmm>(interface_index, nullptr, m_settings.cmm,
                                             m_settings.cmm_port);
    m_cmm->setEnvironment(env);
    m_cmm->start(QThread::InheritPriority);

    m_browse = std::make_unique<OvaltaVireoBrowse>(interface_index, nullptr, m_settings.browse);
    QObject::connect(m_browse.get(), &OvaltaVireoBrowse::deviceAdded, c, &VireoThreads::addDevice);
    QObject::connect(m_browse.get(), &OvaltaVireoBrowse::deviceRemoved, c,
                     &VireoThreads::removeDevice);
    QObject::connect(m_browse.get(), &OvaltaVireoBrowse::deviceVendorId, c,
                     &VireoThreads::updateVendorId);
    m_browse->setEnvironment(env);
    m_browse->start(QThread::InheritPriority);

    m_router = std::make_unique<OvaltaVireoRouter>(nullptr, m_settings.router);
    QObject::connect(m_router.get(), &OvaltaVireoRouter::deviceNetworkInfo, c,
                     &VireoThreads::updateDeviceNetworkInfo);
    QObject::connect(m_router.get(), &OvaltaVireoRouter::rxChannelNamesChanged, c,
                     &VireoThreads::devRxChannelsChanged);
    QObject::connect(m_router.get(), &OvaltaVireoRouter::txChannelNamesChanged, c,
                     &VireoThreads::devTxChannelsChanged);
    m_router->setEnvironment(env);
    m_router->start(QThread::InheritPriority);

    m_conmon = std::make_unique<OvaltaVireoConmon>(nullptr, m_settings.conmon);
    QObject::connect(m_conmon.get(), &OvaltaVireoConmon::conmonTimeout, c,
                     &VireoThreads::conmonTimeOut);
    QObject::connect(m_conmon.get(), &OvaltaVireoConmon::productId, c,
                     &VireoThreads::handleProductId);
    QObject::connect(m_conmon.get(), &OvaltaVireoConmon::handleMacAddress, c,
                     &VireoThreads::handleMacAddress);
    QObject::connect(m_conmon.get(), &OvaltaVireoConmon::vireoInfo, c,
                     &VireoThreads::handleVireoInfo);
    QObject::connect(m_conmon.get(), &OvaltaVireoConmon::mcuVersion, c,
                     &VireoThreads::handleMCUVersion);
    m_conmon->setEnvironment(env);
    m_conmon->start(QThread::InheritPriority);
}

void SdkVireoDrivers::askToStop(SdkDriverThread* driver) {
    if (driver) {
        driver->requestInterruption();
        driver->exit(0);
    }
}

void SdkVireoDrivers::stop() {
    SdkDriverThread* const drivers[] = {m_conmon.get(), m_router.get(), m_browse.get(),
                                        m_cmm.get()};
    for (SdkDriverThread* driver : drivers) {
        if (driver && m_controller) {
            QObject::disconnect(driver, nullptr, m_controller, nullptr);
        }
    }
    // All four wind down together; each stop() below then only waits for its own thread.
    for (SdkDriverThread* driver : drivers) {
        askToStop(driver);
    }
    if (m_conmon) {
        m_conmon->stop();
        m_conmon.reset();
    }
    if (m_router) {
        m_router->stop();
        m_router.reset();
    }
    if (m_browse) {
        m_browse->stop();
        m_browse.reset();
    }
    if (m_cmm) {
        m_cmm->stop();
        m_cmm.reset();
    }
    m_controller = nullptr;
}

int SdkVireoDrivers::pendingConmonRequests() const {
    return m_conmon ? m_conmon->pendingRequestCount() : 0;
}

aud_error_t SdkVireoDrivers::sendConmonRequest(const QString& device_name, const QByteArray& body) {
    if (!m_conmon) {
        return AUD_ERR_INVALIDSTATE;
    }
    return m_conmon->sendRequest(body.constData(), size_t(body.size()), device_name);
}

aud_error_t SdkVireoDrivers::sendVendorCommand(const QString& device_name, const QString& text) {
    if (!m_conmon) {
        return AUD_ERR_INVALIDSTATE;
    }
    return m_conmon->sendVendorCommand(device_name, text);
}

void SdkVireoDrivers::openDevice(const QString& device_name) {
    if (m_router) {
        m_router->openDevice(device_name);
    }
}

void SdkVireoDrivers::closeDevice(const QString& device_name) {
    if (m_router) {
        m_router->closeDevice(device_name);
    }
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
