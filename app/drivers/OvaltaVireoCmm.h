#pragma once

#include <QString>
#include <cstdint>

#include "SdkDriverThread.h"
#include "cmm/cmm_client.h"

// The configuration driver: connects to the local Vireo configuration service, puts the
// network interface the user chose into the PC's Vireo configuration and waits until the
// service reports no pending change. A start-up that cannot finish writes one warning, leaves
// the driver not started and the thread idle until stopped; the rest of the application works
// without the configuration step.
class OvaltaVireoCmm : public SdkDriverThread {
    Q_OBJECT
public:
    // port 0: the service's default port (8850).
    explicit OvaltaVireoCmm(int interfaceIndex, QObject* parent = nullptr,
                            const SdkDriverTiming& timing = {}, uint16_t port = 0);
    ~OvaltaVireoCmm() override;

public slots:
    // One polling cycle; re-arms only while started and processing succeeds.
    aud_error_t process();

protected:
    void startUp() override;
    void firstCycle() override;

private:
    enum class Phase { Connecting, Connected };

    static void onEvent(cmm_client* client, unsigned changes, aud_error_t result);
    // One start-up pass (sockets, select, process); false when it failed or the connection
    // state fell to 0.
    bool pass();
    // Waits until done holds; false (with the warning written, the client torn down unless
    // stopped) when the wait ended otherwise.
    bool waitFor(const std::function<bool()>& done, Phase phase);
    bool configureInterface();
    void giveUp(const QString& reason, bool keep_client = false);
    void tearDown();
    QString serviceText(aud_error_t result) const;

    const int m_interface_index;
    const uint16_t m_port;
    QString m_interface_name;
    cmm_client* m_client = nullptr;
    aud_error_t m_failure = AUD_SUCCESS;         // of the last failed pass
    aud_error_t m_request_result = AUD_SUCCESS;  // of the last completed request
};
