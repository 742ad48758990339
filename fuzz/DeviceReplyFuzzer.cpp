#include <cstddef>
#include <cstdint>
#include <iostream>

#include <google/protobuf/stubs/logging.h>

#include "ZEB_Device.h"
#include "qz_amp.pb.h"
#include "qz_dbg.pb.h"
#include "qz_dsp.pb.h"
#include "qz_msgs.pb.h"

namespace {

// Hands the fuzzer's bytes to the reply check as the one datagram received.
class FuzzedDevice : public zeb::ZEB_Device {
public:
    FuzzedDevice(const uint8_t* data, size_t size) : m_datagram(data, data + size) {}

protected:
    bool SendText(const QString&) override { return true; }
    bool SendFrame(const zeb::Frame&) override { return true; }
    bool ReceiveText(QString& text) override {
        if (m_datagram.empty()) {
            return false;
        }
        text = QString::fromUtf8(reinterpret_cast<const char*>(m_datagram.data()),
                                 int(m_datagram.size()));
        return true;
    }
    bool ReceiveFrame(zeb::Frame& frame) override {
        frame = m_datagram;
        return true;
    }

private:
    zeb::Frame m_datagram;
};

template <class Reply>
void check(FuzzedDevice& device, const zeb::Frame& frame, uint8_t seq_num) {
    Reply reply;
    const int result = device.GetResponse(seq_num, reply);
    if (result < zeb::ZEB_Device::kSuccess || result > zeb::ZEB_Device::kWrongMessage) {
        __builtin_trap();
    }
    // Past the CRC check too, which fuzzed bytes rarely pass.
    Reply parsed;
    device.ParseResponse(frame, seq_num, parsed);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Each rejected frame logs a line, and protobuf one more per header it cannot read.
    std::clog.rdbuf(nullptr);
    google::protobuf::SetLogHandler(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDevice device(data, size);
    const zeb::Frame frame(data, data + size);
    const uint8_t seq_num = size > 0 ? uint8_t(data[size - 1] % 128) : 1;
    check<qz_msgs::system_t>(device, frame, seq_num);
    check<dsp_t>(device, frame, seq_num);
    check<amp_t>(device, frame, seq_num);
    check<dbg_t>(device, frame, seq_num);
    QString text;
    device.GetResponse(0, text);
    return 0;
}
