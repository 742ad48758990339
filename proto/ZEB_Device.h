#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "PayloadTraits.h"

namespace google::protobuf {
class MessageLite;
}

namespace zeb {

using Frame = std::vector<uint8_t>;

// The protocol side of a connection to one device: numbers requests, frames them, hands
// them to the transport, checks the reply and retries. Results: 0 success, 1 no response,
// 2 communications failure (CRC mismatch or ERR), 3 refused (NACK), 4 wrong message.
class ZEB_Device {
public:
    enum Result {
        kSuccess = 0,
        kNoResponse = 1,
        kCommsFailure = 2,
        kRefused = 3,
        kWrongMessage = 4
    };

    ZEB_Device() = default;
    virtual ~ZEB_Device() = default;
    ZEB_Device(const ZEB_Device&) = delete;
    ZEB_Device& operator=(const ZEB_Device&) = delete;

    template <class Request, class Reply>
    int SendRequest(qz_msgs::header_t::MSG_TYPES msg_type, const Request& request, Reply& reply) {
        static_assert(PayloadTraits<Request>::requestable, "no request frame carries this payload");
        return SendFramedRequest(msg_type, PayloadTraits<Request>::type, request,
                                 PayloadTraits<Reply>::type, reply);
    }

    // Text request: msg_type is ignored; returns 0, 1 or 3.
    int SendRequest(qz_msgs::header_t::MSG_TYPES msg_type, const QString& text, QString& reply);

    template <class Reply>
    int GetResponse(uint8_t seq_num, Reply& reply) {
        return GetFramedResponse(seq_num, PayloadTraits<Reply>::type, reply);
    }
    int GetResponse(uint8_t seq_num, QString& reply);

    template <class Reply>
    bool ParseResponse(const Frame& frame, uint8_t seq_num, Reply& reply) {
        qz_msgs::header_t header;
        return ParseFramedResponse(frame, seq_num, PayloadTraits<Reply>::type, header, reply);
    }

    template <class Payload>
    static void BuildFrame(qz_msgs::header_t::MSG_TYPES msg_type, uint8_t seq_num,
                           const Payload& payload, Frame& frame) {
        static_assert(PayloadTraits<Payload>::requestable, "no request frame carries this payload");
        BuildAnyFrame(msg_type, PayloadTraits<Payload>::type, seq_num, payload, frame);
    }

    static uint32_t Crc32(const uint8_t* data, size_t length);

protected:
    virtual bool SendText(const QString& text) = 0;
    virtual bool SendFrame(const Frame& frame) = 0;
    virtual bool ReceiveText(QString& text) = 0;
    virtual bool ReceiveFrame(Frame& frame) = 0;

private:
    static void BuildAnyFrame(qz_msgs::header_t::MSG_TYPES msg_type,
                              qz_msgs::header_t::PAYLOAD_TYPES payload_type, uint8_t seq_num,
                              const google::protobuf::MessageLite& payload, Frame& frame);
    int SendFramedRequest(qz_msgs::header_t::MSG_TYPES msg_type,
                          qz_msgs::header_t::PAYLOAD_TYPES request_type,
                          const google::protobuf::MessageLite& request,
                          qz_msgs::header_t::PAYLOAD_TYPES reply_type,
                          google::protobuf::MessageLite& reply);
    int GetFramedResponse(uint8_t seq_num, qz_msgs::header_t::PAYLOAD_TYPES expected,
                          google::protobuf::MessageLite& reply);
    static bool ParseFramedResponse(const Frame& frame, uint8_t seq_num,
                                    qz_msgs::header_t::PAYLOAD_TYPES expected,
                                    qz_msgs::header_t& header,
                                    google::protobuf::MessageLite& reply);

    uint8_t m_seq_num = 1;
};

}  // namespace zeb
