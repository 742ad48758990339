#include "SdkDriverSet.h"

#include "OvaltaVireoBrowse.h"
#include "OvaltaVireoCmm.h"
#include "OvaltaVireoConmon.h"
#include "OvaltaVireoRouter.h"

namespace {

void askToStop(SdkDriverThread* driver) {
    if (driver) {
        driver->requestInterruption();
        driver->exit(0);
    }
}

template <class Driver>
void end(std::unique_ptr<Driver>& driver) {
    if (driver) {
        driver->stop();
        driver.reset();
    }
}

}  // namespace

SdkDriverSet::SdkDriverSet(const VireoDriverSettings& settings) : m_settings(settings) {}

SdkDriverSet::~SdkDriverSet() {
    stop(nullptr);
}

void SdkDriverSet::create(aud_env* env, int interface_index) {
    stop(nullptr);
    m_cmm = std::make_unique<OvaltaVireoCmm>(interface_index, nullptr, m_settings.cmm);
    m_cmm->setEnvironment(env);
    m_browse = std::make_unique<OvaltaVireoBrowse>(interface_index, nullptr, m_settings.browse);
    m_browse->setEnvironment(env);
    m_router = std::make_unique<OvaltaVireoRouter>(nullptr, m_settings.router);
    m_router->setEnvironment(env);
    m_conmon = std::make_unique<OvaltaVireoConmon>(nullptr, m_settings.conmon);
    m_conmon->setEnvironment(env);
}

void SdkDriverSet::startAll() {
    SdkDriverThread* const drivers[] = {m_cmm.get(), m_browse.get(), m_router.get(),
                                        m_conmon.get()};
    for (SdkDriverThread* driver : drivers) {
        if (driver) {
            driver->start(QThread::InheritPriority);
        }
    }
}

void SdkDriverSet::stop(QObject* receiver) {
    SdkDriverThread* const drivers[] = {m_conmon.get(), m_router.get(), m_browse.get(),
                                        m_cmm.get()};
    for (SdkDriverThread* driver : drivers) {
        if (driver && receiver) {
            QObject::disconnect(driver, nullptr, receiver, nullptr);
        }
    }
    // All four wind down together; each stop() below then only waits for its own thread.
    for (SdkDriverThread* driver : drivers) {
        askToStop(driver);
    }
    end(m_conmon);
    end(m_router);
    end(m_browse);
    end(m_cmm);
}

bool SdkDriverSet::conmonReady() const {
    return m_conmon && m_conmon->isReady();
}

int SdkDriverSet::pendingConmonRequests() const {
    return m_conmon ? m_conmon->pendingRequestCount() : 0;
}

aud_error_t SdkDriverSet::sendConmonRequest(const QString& device_name, const QByteArray& body) {
    if (!m_conmon) {
        return AUD_ERR_INVALIDSTATE;
    }
    return m_conmon->sendRequest(body.constData(), size_t(body.size()), device_name);
}

aud_error_t SdkDriverSet::sendVendorCommand(const QString& device_name, const QString& text) {
    if (!m_conmon) {
        return AUD_ERR_INVALIDSTATE;
    }
    return m_conmon->sendVendorCommand(device_name, text);
}

void SdkDriverSet::openDevice(const QString& device_name) {
    if (m_router) {
        m_router->openDevice(device_name);
    }
}

void SdkDriverSet::closeDevice(const QString& device_name) {
    if (m_router) {
        m_router->closeDevice(device_name);
    }
}
