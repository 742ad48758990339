#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QPair>
#include <QString>

#include "RouterTiming.h"
#include "SdkDriverThread.h"
#include "platform/aud_socket_set.h"
#include "routing/dr_device.h"
#include "routing/dr_devices.h"

class RouterModel;

// Opens each discovered Vireo device through the routing API, keeps one RouterModel per device
// name (address, channel names, sample rates, receive-channel subscriptions) and reports when
// they are known or change. m_process runs the routing context every cycle (and an open runs it
// too when a cycle is due, so that devices resolve while many are opened); a capabilities query
// refused for want of a request slot is asked again at the next cycle. m_poll_changes refreshes
// one model per poll, in turn, and reopens a device that did not become ACTIVE in time.
class OvaltaVireoRouter : public SdkDriverThread {
    Q_OBJECT
public:
    explicit OvaltaVireoRouter(QObject* parent = nullptr, const RouterTiming& timing = {});
    ~OvaltaVireoRouter() override;

    // Before start: keeps the environment and makes the routing context.
    void setEnvironment(aud_env* env);

    void openDevice(const QString& name);
    void closeDevice(const QString& name);

    const QList<RouterModel*>& models() const { return m_models; }
    // The first model of that name, or null.
    RouterModel* model(const QString& name) const;

signals:
    void deviceNetworkInfo(RouterModel* model);
    void txChannelNamesChanged(RouterModel* model);
    void rxChannelNamesChanged(RouterModel* model);
    void rxChannelRoutesChanged(RouterModel* model);
    void txChannelSampleRatesChanged(RouterModel* model);
    void rxChannelSampleRatesChanged(RouterModel* model);

public slots:
    aud_error_t m_process();
    void m_poll_changes();
    // Subscribes receive channel rxIdx of rxDevName to txChannelName@txDevName; an empty
    // txDevName removes its subscription.
    void rxSubscribe(QString rxDevName, int rxIdx, QString txDevName, QString txChannelName);

protected:
    void startUp() override;
    void firstCycle() override;

private:
    static void onSocketsChanged(dr_devices* devices);
    static void onDeviceChanged(dr_device* device, uint32_t changes);
    static void onRequestDone(dr_device* device, dr_request_id request, aud_error_t result);

    // Serves the routing context's sockets and time-outs, then the opens, closes and refused
    // queries that waited for it.
    void processSockets();
    void retryRefusedQueries();
    RouterModel* modelOf(const dr_device* device) const;
    void deviceChanged(dr_device* device);
    void queryCapabilities(RouterModel* model);
    void updateComponents(RouterModel* model);
    void poll(RouterModel* model);
    void pollNames(RouterModel* model);
    void pollRoutes(RouterModel* model);
    void pollRates(RouterModel* model);
    void pollOnce();

    const RouterTiming m_router_timing;
    bool m_devices_open = false;
    dr_devices* m_devices = nullptr;
    aud_socket_set m_sockets{};
    bool m_sockets_changed = false;
    QList<RouterModel*> m_models;
    bool m_processing = false;
    aud_error_t m_last_result = AUD_SUCCESS;
    // Opens (true) and closes asked for while the routing context processes, done after it.
    QList<QPair<bool, QString>> m_deferred;
    // Models whose capabilities query found no free request slot.
    QList<RouterModel*> m_refused;
    QElapsedTimer m_last_process;
};
