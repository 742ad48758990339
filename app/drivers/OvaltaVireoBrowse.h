#pragma once

#include "BrowseDriverSettings.h"
#include "BrowserModel.h"
#include "SdkDriverThread.h"
#include "browse/db_browse.h"
#include "platform/aud_socket_set.h"

// Runs the DNS-SD browse of Vireo devices on one network interface and reports the devices
// that appear, change and go, and their manufacturer ids, through one BrowserModel. Start-up
// makes and starts the browse on the driver thread; every polling cycle runs on the object's
// (GUI) thread, so each report is handled before the next one changes the model.
class OvaltaVireoBrowse : public SdkDriverThread {
    Q_OBJECT
public:
    explicit OvaltaVireoBrowse(int interfaceIndex, QObject* parent = nullptr,
                               const BrowseDriverSettings& settings = {});
    // Stops the thread, then releases the browse.
    ~OvaltaVireoBrowse() override;

    int interfaceIndex() const { return m_interface_index; }
    const BrowserModel* model() const { return &m_model; }

signals:
    void deviceAdded(BrowserModel* model);
    void deviceRemoved(BrowserModel* model);
    void deviceVendorId(BrowserModel* model);

public slots:
    // -1 without a device tree, else reconfirms every known device and gives 0.
    int reconfirm_browsing_devices();
    // One polling cycle; re-arms while there is a browse. Always 0.
    aud_error_t process();

protected:
    void startUp() override;
    void firstCycle() override;

private:
    static void onNodeChanged(db_browse* browse, const db_browse_node_change* change, int code);
    static void onNetworkChanged(db_browse* browse);
    static void onSocketsChanged(db_browse* browse);
    void nodeChanged(const db_browse_node_change& change, int code);
    // Whether the next resolve time-out of the browse is set and has passed.
    static bool timeoutPassed();

    const int m_interface_index;
    const BrowseDriverSettings m_settings;
    BrowserModel m_model;
    bool m_network_changed = false;
    bool m_sockets_changed = false;
    bool m_node_changed = false;
    aud_socket_set m_sockets{};
};
