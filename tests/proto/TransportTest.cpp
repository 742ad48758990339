#include <QElapsedTimer>
#include <QUdpSocket>

#include "DeviceFixture.h"

namespace {

using Header = qz_msgs::header_t;

class Transport : public DeviceFixture {};

TEST_F(Transport, ChangingDeviceTalksOnlyToTheNewOne) {
    sim::FakeDevice other("127.0.0.2");
    ASSERT_TRUE(other.start());
    VireoDevice second;
    second.setIpAddress(QHostAddress(QStringLiteral("127.0.0.2")));
    amp_t reply;
    ASSERT_EQ(m_transport.SendRequest(Header::MSG_GET_REQ, amp_t(), reply), 0);
    m_transport.SetDevice(&second);
    ASSERT_EQ(m_transport.SendRequest(Header::MSG_GET_REQ, amp_t(), reply), 0);
    EXPECT_EQ(sends(1), 1u);
    EXPECT_TRUE(other.waitForDatagrams(1, std::chrono::milliseconds(500)));
    EXPECT_EQ(other.log().size(), 1u);
}

TEST_F(Transport, DetachedTransportFailsAtOnce) {
    VireoDevice without_address;
    for (VireoDevice* device : {static_cast<VireoDevice*>(nullptr), &without_address}) {
        m_transport.SetDevice(device);
        ClogCapture log;
        QElapsedTimer clock;
        clock.start();
        amp_t reply;
        EXPECT_EQ(m_transport.SendRequest(Header::MSG_GET_REQ, amp_t(), reply), 1);
        EXPECT_LT(clock.elapsed(), kWaitMs);
        EXPECT_EQ(log.count("No response."), 10);
    }
    EXPECT_EQ(sends(), 0u);
}

// A peer of the test's own, so it can send what it likes.
class RawPeer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(
            m_peer.bind(QHostAddress(QStringLiteral("127.0.0.3")), QtZEB_Device::kControlPort));
        m_record.setIpAddress(QHostAddress(QStringLiteral("127.0.0.3")));
        m_transport.SetDevice(&m_record);
    }

    // Waits for the transport's first datagram and returns where it came from.
    void receive(QHostAddress& from, quint16& port) {
        ASSERT_TRUE(m_peer.waitForReadyRead(1000));
        QByteArray datagram(int(m_peer.pendingDatagramSize()), 0);
        m_peer.readDatagram(datagram.data(), datagram.size(), &from, &port);
    }

    QUdpSocket m_peer;
    VireoDevice m_record;
    QtZEB_Device m_transport{kWaitMs};
};

TEST_F(RawPeer, TextWaitSkipsALateFrame) {
    QString reply;
    // Prime the peer with the transport's address: a first text request goes unanswered.
    EXPECT_EQ(m_transport.SendRequest(Header::MSG_SET_REQ, QStringLiteral("VERSION\r"), reply), 1);
    QHostAddress from;
    quint16 port = 0;
    receive(from, port);
    const char frame[] = {0x00, 0x08, 0x08, 0x03, 0x10, 0x01, 0x18, 0x01, 0x20, 0x01, 0, 0, 0, 0};
    m_peer.writeDatagram(frame, sizeof frame, from, port);
    m_peer.writeDatagram("ACK SAVEPRESET 2", from, port);
    EXPECT_EQ(m_transport.SendRequest(Header::MSG_SET_REQ, QStringLiteral("SAVEPRESET 2\r"), reply),
              0);
    EXPECT_EQ(reply, QStringLiteral("ACK SAVEPRESET 2"));
}

TEST_F(RawPeer, TextStopsAtTheFirstZeroByte) {
    QString reply;
    EXPECT_EQ(m_transport.SendRequest(Header::MSG_SET_REQ, QStringLiteral("VERSION\r"), reply), 1);
    QHostAddress from;
    quint16 port = 0;
    receive(from, port);
    m_peer.writeDatagram(QByteArray("ACK VERSION=1.2\0junk", 20), from, port);
    EXPECT_EQ(m_transport.SendRequest(Header::MSG_SET_REQ, QStringLiteral("VERSION\r"), reply), 0);
    EXPECT_EQ(reply, QStringLiteral("ACK VERSION=1.2"));
}

TEST_F(RawPeer, EarlierDatagramIsReadByTheNextReceive) {
    QString reply;
    EXPECT_EQ(m_transport.SendRequest(Header::MSG_SET_REQ, QStringLiteral("VERSION\r"), reply), 1);
    QHostAddress from;
    quint16 port = 0;
    receive(from, port);
    // An ACK reply to sequence number 1 that arrives before the request is sent.
    const uint8_t head[] = {0x00, 0x08, 0x08, 0x03, 0x10, 0x05, 0x18, 0x01, 0x20, 0x01};
    zeb::Frame frame(head, head + sizeof head);
    const uint32_t crc = zeb::ZEB_Device::Crc32(frame.data(), frame.size());
    for (int shift = 24; shift >= 0; shift -= 8) {
        frame.push_back(uint8_t(crc >> shift));
    }
    m_peer.writeDatagram(reinterpret_cast<const char*>(frame.data()), int(frame.size()), from,
                         port);
    amp_t reply_amp;
    EXPECT_EQ(m_transport.SendRequest(Header::MSG_GET_REQ, amp_t(), reply_amp), 0);
}

}  // namespace
