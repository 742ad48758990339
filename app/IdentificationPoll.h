#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>

class VireoDevice;
class VireoDevices;

// The identification poll's rules on one device record: what a device's turn asks next, how
// replies and time-outs move its poll state. The controller holds its mutex around each call
// and sends what a turn asks for.
namespace identification {

enum PollState : int {
    kStart = 1,       // to be identified
    kAsked = 2,       // a question is outstanding
    kProduct = 3,     // product accepted, MAC address wanted
    kVersion = 4,     // firmware version wanted
    kLocation = 5,    // location wanted
    kModel = 6,       // Vireo model accepted, product id wanted
    kIdentified = 8,  // identified
    kIgnored = 9      // not the maker's, gone or given up
};

constexpr uint32_t kControlProtocolBit = 0x40000000;
constexpr uint8_t kTimeoutLimit = 5;

enum class Question { None, VireoInfo, ProductId, MacAddress, Location, FirmwareVersion };

// What else is outstanding when a device in state 2 has its turn, and whether conmon
// questions can be sent (the conmon driver is started, connected and registered).
struct Outstanding {
    int conmon_requests = 0;
    bool text_commands_queued = false;
    bool conmon_ready = true;
};

// One turn: moves the record to its next state and names the question to send. For
// Question::Location the caller reads the location and hands the text to locationRead. A
// conmon question waits, the state unchanged, until conmon is ready.
Question takeTurn(VireoDevice& device, const Outstanding& outstanding);

// Whether a record is still to be identified (neither identified nor ignored).
bool anyToIdentify(const QVector<VireoDevice*>& devices);

// A location read ended (empty text: failed); a known location moves the device to state 4.
void locationRead(VireoDevice& device, const QString& location);

// The conmon request body of VireoInfo, ProductId or MacAddress; empty for the others.
QByteArray conmonRequestBody(Question question);

// A time-out restarts identification: state 1, product id emptied, MCU version 0, Vireo model
// empty; MAC address and location stay.
void restart(VireoDevice& device);

// A text command went out to the device.
void textCommandSent(VireoDevice& device);

// A text command to the device got no reply: restart, then count it, or ignore the device
// once the count has reached the limit.
void textCommandTimedOut(VireoDevice& device);

// A "VERSION" reply from the device's address. True when the record changed beyond its count.
bool versionReceived(VireoDevice& device, uint32_t version);

// A "NACK" reply from the device's address. True when the record changed.
bool nackReceived(VireoDevice& device);

// What a conmon reply handler did with a reply.
enum class ReplyUse {
    Unused,     // no such record, or the reply carries nothing it still needs: poll on
    OutOfTurn,  // the device is not awaiting a reply: dropped, and no tick is asked for
    Taken       // stored: poll on
};

struct ProductInfo {
    QByteArray id;
    uint32_t model_version = 0;
    QString model_name;
    uint32_t software_version = 0;
    uint32_t firmware_version = 0;
    uint32_t capabilities = 0;
};

ReplyUse vireoInfoReceived(VireoDevices& list, const QString& name, const QString& model);
ReplyUse productIdReceived(VireoDevices& list, const QString& name, const ProductInfo& product);
ReplyUse macAddressReceived(VireoDevices& list, const QString& name, const QString& mac);
ReplyUse mcuVersionReceived(VireoDevices& list, const QString& name, uint32_t version);

}  // namespace identification
