#include "TftpTransfer.h"

#include <algorithm>
#include <utility>

#include "util/aud_reader.h"

namespace {

constexpr uint16_t kOpWrite = 2;
constexpr uint16_t kOpData = 3;
constexpr uint16_t kOpAck = 4;

}  // namespace

TftpTransfer::Bytes TftpTransfer::updateCommand() {
    static const char kCommand[] = "FWUPDATE\r";
    return Bytes(kCommand, kCommand + sizeof kCommand - 1);
}

std::string TftpTransfer::bareName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<TftpTransfer::Ack> TftpTransfer::readAck(const uint8_t* data, size_t size) {
    aud_reader reader;
    aud_reader_init(&reader, data, size);
    Ack ack{};
    if (!aud_reader_u16be(&reader, &ack.opcode) || !aud_reader_u16be(&reader, &ack.block)) {
        return std::nullopt;
    }
    return ack;
}

void TftpTransfer::setImage(Bytes image) {
    m_image = std::move(image);
    restart();
}

void TftpTransfer::restart() {
    m_offset = 0;
    m_last_sent_size = 0;
    m_block = 0;
    m_retries = 0;
}

const TftpTransfer::Bytes& TftpTransfer::writeRequest(const std::string& path) {
    std::string payload = bareName(path);
    payload.append(2, '\0');
    return packet(kOpWrite, reinterpret_cast<const uint8_t*>(payload.data()), payload.size());
}

const TftpTransfer::Bytes& TftpTransfer::dataBlock(int state) {
    if (state == kEmptyBlock) {
        return packet(kOpData, nullptr, 0);
    }
    const size_t size = std::min(m_image.size() - m_offset, size_t(kBlockSize));
    return packet(kOpData, m_image.data() + m_offset, size);
}

const TftpTransfer::Bytes& TftpTransfer::packet(uint16_t opcode, const uint8_t* payload,
                                                size_t size) {
    m_packet.assign({uint8_t(opcode >> 8), uint8_t(opcode & 0xFF), uint8_t(m_block >> 8),
                     uint8_t(m_block & 0xFF)});
    m_packet.insert(m_packet.end(), payload, payload + size);
    m_last_sent_size = size;
    return m_packet;
}

TftpTransfer::Accepted TftpTransfer::accept(const Ack& ack, int state) {
    if (ack.opcode != kOpAck || ack.block != m_block) {
        return Accepted::kNo;
    }
    m_retries = 0;
    if (state == kLastBlock || state == kEmptyBlock) {
        return Accepted::kDone;
    }
    if (m_block != 0) {
        m_offset += m_last_sent_size;
    }
    ++m_block;
    return Accepted::kNext;
}

int TftpTransfer::nextState() const {
    const size_t remaining = m_image.size() - m_offset;
    return remaining == 0 ? kEmptyBlock : remaining < size_t(kBlockSize) ? kLastBlock : kBlocks;
}

bool TftpTransfer::countFailure() {
    ++m_retries;
    return m_retries > m_retry_limit;
}
