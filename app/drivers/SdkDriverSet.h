#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

#include "VireoDriverSettings.h"
#include "platform/aud_env.h"
#include "platform/aud_error.h"

class OvaltaVireoBrowse;
class OvaltaVireoCmm;
class OvaltaVireoConmon;
class OvaltaVireoRouter;
class QObject;
class SdkDriverThread;

// The four SDK drivers a controller runs: configuration, browse, router and conmon, on one SDK
// environment, each on its own thread (priority inherited). The owner connects their reports
// between create() and startAll(); stop() disconnects them from it, asks all four to stop at
// once (ending their start-up waits), then ends and deletes them conmon, router, browse,
// configuration.
class SdkDriverSet {
public:
    explicit SdkDriverSet(const VireoDriverSettings& settings = {});
    ~SdkDriverSet();
    SdkDriverSet(const SdkDriverSet&) = delete;
    SdkDriverSet& operator=(const SdkDriverSet&) = delete;

    // Stops any running set, then makes the four drivers; none runs yet.
    void create(aud_env* env, int interface_index);
    // Starts them: configuration, browse, router, conmon.
    void startAll();
    // `receiver`: the object their reports were connected to (may be null).
    void stop(QObject* receiver);

    OvaltaVireoCmm* cmm() const { return m_cmm.get(); }
    OvaltaVireoBrowse* browse() const { return m_browse.get(); }
    OvaltaVireoRouter* router() const { return m_router.get(); }
    OvaltaVireoConmon* conmon() const { return m_conmon.get(); }

    // Conmon: 0 and INVALIDSTATE when the set is stopped. Ready: the conmon driver is started,
    // connected, registered and subscribed (false while it reconnects, and when stopped).
    bool conmonReady() const;
    int pendingConmonRequests() const;
    aud_error_t sendConmonRequest(const QString& device_name, const QByteArray& body);
    aud_error_t sendVendorCommand(const QString& device_name, const QString& text);
    // Router: nothing when the set is stopped.
    void openDevice(const QString& device_name);
    void closeDevice(const QString& device_name);

private:
    const VireoDriverSettings m_settings;
    std::unique_ptr<OvaltaVireoCmm> m_cmm;
    std::unique_ptr<OvaltaVireoBrowse> m_browse;
    std::unique_ptr<OvaltaVireoRouter> m_router;
    std::unique_ptr<OvaltaVireoConmon> m_conmon;
};
