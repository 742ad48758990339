#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>

#include "FakeFault.h"
#include "FakeMeters.h"
#include "FakeWire.h"
#include "qz_amp.pb.h"
#include "qz_dbg.pb.h"
#include "qz_dsp.pb.h"
#include "qz_msgs.pb.h"

namespace sim {

struct LoggedDatagram {
    Bytes bytes;
    std::string from_address;
    uint16_t from_port = 0;
    std::chrono::steady_clock::time_point when;
};

// A device's control side: framed requests and text commands on UDP, answered from one
// socket bound to the given address, on its own thread; and its amplifier status
// announcements to 239.255.10.99:49495.
class FakeDevice {
public:
    static constexpr uint16_t kControlPort = 49494;
    static constexpr uint16_t kStatusPort = 49495;
    static constexpr const char* kStatusGroup = "239.255.10.99";

    explicit FakeDevice(std::string address, uint16_t port = kControlPort);
    ~FakeDevice();
    FakeDevice(const FakeDevice&) = delete;
    FakeDevice& operator=(const FakeDevice&) = delete;

    // The interface that status announcements leave by (multicast loop on, so listeners on
    // this host hear them); before start(). Unset: the interface of the device's address.
    void setStatusInterface(std::string interface_name);

    // Called on the device's thread with every datagram it received (as logged), once
    // handled, and whether it was answered; set before start().
    using Observer = std::function<void(const LoggedDatagram& datagram, bool answered)>;
    void setObserver(Observer observer);

    // Binds and starts the thread; false when the address cannot be bound.
    bool start();
    void stop();

    // Sends one status datagram from the device's address; false when it could not go out.
    bool sendStatus(const std::string& text);
    // Sends `text` every `period` from the device's thread, the first after `first` (at once
    // by default); a zero period stops.
    void sendStatusEvery(std::chrono::milliseconds period, std::string text,
                         std::chrono::milliseconds first = std::chrono::milliseconds(0));

    qz_msgs::system_t system() const;
    void setSystem(const qz_msgs::system_t& system);
    dsp_t dsp() const;
    void setDsp(const dsp_t& dsp);
    amp_t amp() const;
    void setAmp(const amp_t& amp);
    dbg_t dbg() const;
    void setDbg(const dbg_t& dbg);
    void setVersion(int major, int minor);
    // The version "VERSION\r" reports, "major.minor".
    std::string versionText() const;
    // DSP reads report measured levels as FakeMeters does (unset: as the state holds them).
    void setMeterLevels(float centre_db, float swing_db, uint32_t seed);
    bool hasPresetSlot(int slot) const;

    // Firmware receiver: "FWUPDATE\r" enters update mode; the image ends with the first block
    // shorter than 256 bytes. A complete image of at least 0x187 bytes sets the version that
    // "VERSION\r" reports to its bytes 0x184 and 0x186.
    bool inUpdateMode() const;
    std::string firmwareName() const;
    Bytes firmwareImage() const;
    bool firmwareComplete() const;

    // Never answer while set.
    void setSilent(bool silent);
    // Firmware acknowledgements are dropped with probability `drop`, and those left sent
    // twice with probability `duplicate`, from a generator seeded with `seed`.
    void setAckLoss(double drop, double duplicate, uint32_t seed);
    // "FWUPDATE\r" leaves the device as it is; "VERSION\r" is still answered.
    void setRefuseUpdateMode(bool refuse);
    // After acknowledging data block `block`, the device closes its socket: later datagrams
    // meet a closed port.
    void closeAfterBlock(int block);
    // The next requests meet these faults, one each, in order.
    void scriptFaults(const std::vector<FakeFault>& faults);
    void dropNext(int count);

    std::vector<LoggedDatagram> log() const;
    void clearLog();
    // Waits until at least `count` datagrams were logged.
    bool waitForDatagrams(size_t count, std::chrono::milliseconds timeout) const;

private:
    void run();
    int openStatusSocket() const;
    // Sends the periodic status when it is due; the time until the next one (-1: none).
    int sendDueStatus();
    struct Reply {
        WireHeader header;
        Bytes payload;
    };

    // False when the device closes its socket after this datagram.
    // `answered`: whether a reply went out.
    bool handle(const Bytes& datagram, const sockaddr_in& from, bool& answered);
    std::string answerText(const std::string& command);
    std::string versionLocked() const;  // under m_mutex
    bool isFirmwarePacket(const Bytes& datagram) const;
    bool handleFirmware(const Bytes& datagram, const FakeFault& fault, const sockaddr_in& from);
    Reply answerFrame(const DecodedFrame& request);
    void sendFrameReply(Reply reply, const FakeFault& fault, const sockaddr_in& to);
    void send(const Bytes& bytes, const sockaddr_in& to, bool other_port);

    const std::string m_address;
    const uint16_t m_port;
    int m_socket = -1;
    int m_other_socket = -1;
    int m_status_socket = -1;
    std::string m_status_interface;
    Observer m_observer;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    bool m_stopping = false;  // under m_mutex
    std::chrono::milliseconds m_status_period{0};
    std::string m_status_text;
    std::chrono::steady_clock::time_point m_status_due;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_logged;
    qz_msgs::system_t m_system;
    dsp_t m_dsp;
    amp_t m_amp;
    dbg_t m_dbg;
    std::map<int, dsp_t> m_preset_slots;
    int m_version_major = 1;
    int m_version_minor = 0;
    std::optional<FakeMeters> m_meters;
    bool m_silent = false;
    std::deque<FakeFault> m_faults;
    std::vector<LoggedDatagram> m_log;
    in_addr m_last_sender{};  // the log's address text, formatted once per sender
    std::string m_last_sender_text;
    bool m_update_mode = false;
    std::string m_firmware_name;
    Bytes m_firmware_image;
    uint16_t m_next_block = 1;
    bool m_firmware_complete = false;
    double m_ack_drop = 0;
    double m_ack_duplicate = 0;
    std::mt19937 m_loss_random;
    bool m_refuse_update_mode = false;
    int m_close_after_block = -1;
};

}  // namespace sim
