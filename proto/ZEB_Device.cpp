#include "ZEB_Device.h"

#include <iostream>
#include <stdexcept>

namespace zeb {

namespace {

constexpr int kFramedRounds = 10;
constexpr int kTextRounds = 3;
constexpr size_t kFrameOverhead = 6;  // zero byte, header length, CRC
constexpr uint32_t kCrcPolynomial = 0x04C11DB7;

void logLine(const char* text) {
    std::clog << text << std::endl;
}

uint32_t readBigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace

uint32_t ZEB_Device::Crc32(const uint8_t* data, size_t length) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t pos = 0; pos < length; pos += 4) {
        uint32_t word = 0;
        for (size_t i = 0; i < 4 && pos + i < length; ++i) {
            word |= uint32_t(data[pos + i]) << (8 * i);
        }
        crc ^= word;
        for (int bit = 0; bit < 32; ++bit) {
            crc = (crc & 0x80000000u) ? (crc << 1) ^ kCrcPolynomial : crc << 1;
        }
    }
    return crc;
}

void ZEB_Device::BuildAnyFrame(qz_msgs::header_t::MSG_TYPES msg_type,
                               qz_msgs::header_t::PAYLOAD_TYPES payload_type, uint8_t seq_num,
                               const google::protobuf::MessageLite& payload, Frame& frame) {
    qz_msgs::header_t header;
    header.set_msg_type(msg_type);
    header.set_payload_type(payload_type);
    header.set_seq_num(seq_num);

    const size_t header_size = header.ByteSizeLong();
    const size_t payload_size = payload.ByteSizeLong();
    frame.assign(header_size + payload_size + kFrameOverhead, 0);
    frame[1] = uint8_t(header_size);
    if (header_size > 0xFF || !header.SerializePartialToArray(frame.data() + 2, int(header_size))) {
        throw std::runtime_error("Failed to serialize message header.");
    }
    const int payload_room = int(frame.size() - 2 - header_size - 4);
    if (!payload.SerializePartialToArray(frame.data() + 2 + header_size, payload_room)) {
        throw std::runtime_error("Failed to serialize message payload.");
    }
    const size_t body = frame.size() - 4;
    const uint32_t crc = Crc32(frame.data(), body);
    for (int i = 0; i < 4; ++i) {
        frame[body + i] = uint8_t(crc >> (24 - 8 * i));
    }
}

int ZEB_Device::SendFramedRequest(qz_msgs::header_t::MSG_TYPES msg_type,
                                  qz_msgs::header_t::PAYLOAD_TYPES request_type,
                                  const google::protobuf::MessageLite& request,
                                  qz_msgs::header_t::PAYLOAD_TYPES reply_type,
                                  google::protobuf::MessageLite& reply) {
    const uint8_t seq_num = m_seq_num;
    m_seq_num = m_seq_num + 1 > 127 ? 1 : m_seq_num + 1;

    Frame frame;
    BuildAnyFrame(msg_type, request_type, seq_num, request, frame);
    SendFrame(frame);

    int result = kNoResponse;
    for (int round = 0; round < kFramedRounds; ++round) {
        result = GetFramedResponse(seq_num, reply_type, reply);
        if (result == kSuccess || result == kRefused) {
            return result;
        }
        if (result == kNoResponse || result == kCommsFailure) {
            SendFrame(frame);
        }
    }
    switch (result) {
        case kNoResponse:
            logLine("ZEB_Device::SendRequest(): Request timed out.");
            break;
        case kCommsFailure:
            logLine("ZEB_Device::GetResponse(): Communications failure.");
            break;
        default:
            logLine("ZEB_Device::GetResponse(): Wrong message received");
            break;
    }
    return result;
}

int ZEB_Device::GetFramedResponse(uint8_t seq_num, qz_msgs::header_t::PAYLOAD_TYPES expected,
                                  google::protobuf::MessageLite& reply) {
    Frame frame;
    if (!ReceiveFrame(frame)) {
        logLine("ZEB_Device::GetResponse(): No response.");
        return kNoResponse;
    }
    if (frame.size() < 4 ||
        Crc32(frame.data(), frame.size() - 4) != readBigEndian32(frame.data() + frame.size() - 4)) {
        logLine("ZEB_Device::GetResponse(): CRC mismatch");
        return kCommsFailure;
    }
    qz_msgs::header_t header;
    if (ParseFramedResponse(frame, seq_num, expected, header, reply)) {
        return header.ack() == qz_msgs::header_t::NACK ? kRefused : kSuccess;
    }
    logLine("Bad message header:");
    std::clog << " msg_type: " << header.msg_type() << " pyld_type: " << header.payload_type()
              << " seq_num: " << header.seq_num() << " has_ack: " << (header.has_ack() ? 1 : 0)
              << " ack: " << header.ack() << std::endl;
    if (header.ack() == qz_msgs::header_t::ERR) {
        return kCommsFailure;
    }
    logLine("ZEB_Device::GetResponse(): Wrong message received");
    return kWrongMessage;
}

bool ZEB_Device::ParseFramedResponse(const Frame& frame, uint8_t seq_num,
                                     qz_msgs::header_t::PAYLOAD_TYPES expected,
                                     qz_msgs::header_t& header,
                                     google::protobuf::MessageLite& reply) {
    const size_t header_size = frame.size() >= 2 ? frame[1] : 0;
    if (frame.size() < kFrameOverhead || header_size + kFrameOverhead > frame.size() ||
        !header.ParseFromArray(frame.data() + 2, int(header_size))) {
        logLine("Could not parse message");
        return false;
    }
    if (!header.has_ack()) {
        logLine("ACK/NACK field expected");
        return false;
    }
    if (header.ack() == qz_msgs::header_t::ERR) {
        logLine("Received ERR from device");
        return false;
    }
    if (header.msg_type() != qz_msgs::header_t::MSG_RESP) {
        logLine("Unexpected response type");
        return false;
    }
    if (header.seq_num() != seq_num) {
        std::clog << "Sequence number mismatch. Got " << header.seq_num() << ", expected "
                  << unsigned(seq_num) << std::endl;
        return false;
    }
    if (header.payload_type() != expected) {
        if (header.ack() == qz_msgs::header_t::NACK) {
            return true;
        }
        logLine("Payload type mismatch");
        return false;
    }
    const size_t payload_size = frame.size() - header_size - kFrameOverhead;
    return reply.ParseFromArray(frame.data() + 2 + header_size, int(payload_size));
}

int ZEB_Device::SendRequest(qz_msgs::header_t::MSG_TYPES, const QString& text, QString& reply) {
    SendText(text);
    for (int round = 0; round < kTextRounds; ++round) {
        const int result = GetResponse(0, reply);
        if (result != kNoResponse) {
            return result;
        }
        SendText(text);
    }
    logLine("ZEB_Device::SendRequest(): Request timed out.");
    return kNoResponse;
}

int ZEB_Device::GetResponse(uint8_t, QString& reply) {
    QString text;
    if (!ReceiveText(text)) {
        logLine("ZEB_Device::GetResponse(): No response.");
        return kNoResponse;
    }
    reply = text;
    return reply.contains(QLatin1String("NACK")) ? kRefused : kSuccess;
}

}  // namespace zeb
