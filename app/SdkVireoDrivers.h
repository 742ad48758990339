#pragma once

#include "SdkDriverSet.h"
#include "VireoDrivers.h"

// The controller's SDK drivers: the configuration, browse, router and conmon drivers, each on
// its own thread (priority inherited) and on the controller's SDK environment, their reports
// connected to the controller's slots. stop() disconnects them, asks all four to stop at once
// (ending their start-up waits), then ends and deletes them conmon, router, browse,
// configuration.
class SdkVireoDrivers : public VireoDrivers {
public:
    explicit SdkVireoDrivers(const VireoDriverSettings& settings = {});
    ~SdkVireoDrivers() override;
    SdkVireoDrivers(const SdkVireoDrivers&) = delete;
    SdkVireoDrivers& operator=(const SdkVireoDrivers&) = delete;

    void start(VireoThreads& controller, aud_env* env, int interface_index) override;
    void stop() override;

    OvaltaVireoConmon* conmon() const override { return m_set.conmon(); }
    OvaltaVireoRouter* router() const override { return m_set.router(); }
    OvaltaVireoBrowse* browse() const { return m_set.browse(); }
    OvaltaVireoCmm* cmm() const { return m_set.cmm(); }

    int pendingConmonRequests() const override;
    bool conmonReady() const override;
    aud_error_t sendConmonRequest(const QString& device_name, const QByteArray& body) override;
    aud_error_t sendVendorCommand(const QString& device_name, const QString& text) override;

    void openDevice(const QString& device_name) override;
    void closeDevice(const QString& device_name) override;

    QString browsedDeviceName(const BrowserModel* browser) const override;
    QString browsedVendorId(const BrowserModel* browser) const override;
    QHostAddress routedAddress(const RouterModel* router) const override;

private:
    SdkDriverSet m_set;
    VireoThreads* m_controller = nullptr;
};
