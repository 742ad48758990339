#pragma once

#include <QString>
#include <chrono>
#include <functional>

#include "CmmDriverSettings.h"
#include "SdkDriverThread.h"
#include "cmm/cmm_client.h"

// The configuration driver: connects to the local Vireo configuration service, puts the
// network interface the user chose into the PC's Vireo configuration and waits until the
// service reports no pending change. A start-up that cannot finish writes one warning, leaves
// the driver not started and the thread idle until stopped; the rest of the application works
// without the configuration step. Once started, a service that is lost (silent for the
// service time-out, or its port refused) is connected again after the reconnect pause, as
// often as needed, and the interface is put into its configuration again.
class OvaltaVireoCmm : public SdkDriverThread {
    Q_OBJECT
public:
    explicit OvaltaVireoCmm(int interfaceIndex, QObject* parent = nullptr,
                            const CmmDriverSettings& settings = {});
    ~OvaltaVireoCmm() override;

public slots:
    // One polling cycle; re-arms while started, unless processing fails otherwise than by
    // losing the service.
    aud_error_t process();

protected:
    void startUp() override;
    void firstCycle() override;

private:
    using Clock = std::chrono::steady_clock;
    enum class Phase { Connecting, Connected };
    // What the cycles do about a lost service: nothing to do, wait to connect, wait for the
    // connection and the service's records, wait for the configuration.
    enum class Recovery { None, Waiting, Connecting, Configuring };

    static void onEvent(cmm_client* client, unsigned changes, aud_error_t result);
    // One start-up pass (sockets, select, process); false when it failed or the connection
    // state fell to 0.
    bool pass();
    // Waits until done holds; false (with the warning written, the client torn down unless
    // stopped) when the wait ended otherwise.
    bool waitFor(const std::function<bool()>& done, Phase phase);
    bool configureInterface();
    // Sends the SET_CONFIG that puts the interface into the configuration: empty, or why not.
    QString sendConfig();
    // One cycle's step of connecting again and configuring, once the service is lost.
    void recover();
    void recoverAfter(int ms);
    void giveUp(const QString& reason, bool keep_client = false);
    void tearDown();
    QString serviceText(aud_error_t result) const;

    const int m_interface_index;
    const CmmDriverSettings m_settings;
    QString m_interface_name;
    cmm_client* m_client = nullptr;
    aud_error_t m_failure = AUD_SUCCESS;         // of the last failed pass
    aud_error_t m_request_result = AUD_SUCCESS;  // of the last completed request
    Recovery m_recovery = Recovery::None;
    Clock::time_point m_recovery_until;  // the next connect, or the end of the current wait
};
