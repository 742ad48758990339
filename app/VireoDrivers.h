#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include "platform/aud_env.h"
#include "platform/aud_error.h"

class BrowserModel;
class OvaltaVireoConmon;
class OvaltaVireoRouter;
class RouterModel;
class VireoThreads;

// The SDK driver objects of a running controller (configuration, browse, router, conmon) and
// what the controller asks of them. start() makes them on the controller's environment,
// connects their reports to the controller's slots and starts their threads; stop()
// disconnects, stops (interrupting start-up waits) and deletes them, the conmon driver first.
class VireoDrivers {
public:
    virtual ~VireoDrivers() = default;

    virtual void start(VireoThreads& controller, aud_env* env, int interface_index) = 0;
    virtual void stop() = 0;

    virtual OvaltaVireoConmon* conmon() const = 0;
    virtual OvaltaVireoRouter* router() const = 0;

    // Conmon: called with the controller's mutex held; none reports inside the call.
    virtual int pendingConmonRequests() const = 0;
    // Whether the conmon driver is started and connected: a request sent before is lost.
    virtual bool conmonReady() const = 0;
    virtual aud_error_t sendConmonRequest(const QString& device_name, const QByteArray& body) = 0;
    virtual aud_error_t sendVendorCommand(const QString& device_name, const QString& text) = 0;

    // Router: called with the controller's mutex released (opening may report at once).
    virtual void openDevice(const QString& device_name) = 0;
    virtual void closeDevice(const QString& device_name) = 0;

    // What a browse or router report carries.
    virtual QString browsedDeviceName(const BrowserModel* browser) const = 0;
    virtual QString browsedVendorId(const BrowserModel* browser) const = 0;
    virtual QHostAddress routedAddress(const RouterModel* router) const = 0;
};
