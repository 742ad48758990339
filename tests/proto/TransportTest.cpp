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

TEST_F(Transport, RequestsLeaveFromLocalPort6) {
    amp_t reply;
    ASSERT_EQ(m_transport.SendRequest(Header::MSG_GET_REQ, amp_t(), reply), 0);
    ASSERT_EQ(sends(1), 1u);
    EXPECT_EQ(m_fake.log()[0].from_port, QtZEB_Device::kDefaultLocalPort);
}

// Detaching closes Qt's socket; each device opened afterwards still hears from port 6.
TEST_F(Transport, DevicesOpenedInTurnHearFromLocalPort6) {
    sim::FakeDevice other("127.0.0.2");
    ASSERT_TRUE(other.start());
    VireoDevice second;
    second.setIpAddress(QHostAddress(QStringLiteral("127.0.0.2")));
    amp_t reply;
    for (VireoDevice* device : {&second, &m_record, &second}) {
        m_transport.SetDevice(nullptr);
        m_transport.SetDevice(device);
        ASSERT_EQ(m_transport.SendRequest(Header::MSG_GET_REQ, amp_t(), reply), 0);
    }
    ASSERT_EQ(sends(1), 1u);
    ASSERT_TRUE(other.waitForDatagrams(2, std::chrono::milliseconds(500)));
    for (const sim::LoggedDatagram& datagram : m_fake.log()) {
        EXPECT_EQ(datagram.from_port, QtZEB_Device::kDefaultLocalPort);
    }
    for (const sim::LoggedDatagram& datagram : other.log()) {
        EXPECT_EQ(datagram.from_port, QtZEB_Device::kDefaultLocalPort);
    }
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

    // A first, unanswered text request tells the peer where the transport sends from.
    void learnTransportAddress() {
        QString reply;
        EXPECT_EQ(m_transport.SendRequest(Header::MSG_SET_REQ, QStringLiteral("VERSION\r"), reply),
                  1);
        ASSERT_TRUE(m_peer.waitForReadyRead(1000));
        QByteArray datagram(int(m_peer.pendingDatagramSize()), 0);
        m_peer.readDatagram(datagram.data(), datagram.size(), &m_from, &m_from_port);
    }

    void reply(const QByteArray& bytes) { m_peer.writeDatagram(bytes, m_from, m_from_port); }

    QUdpSocket m_peer;
    QHostAddress m_from;
    quint16 m_from_port = 0;
    VireoDevice m_record;
    QtZEB_Device m_transport{kWaitMs};
};

TEST_F(RawPeer, TextWaitSkipsALateFrame) {
    learnTransportAddress();
    const char frame[] = {0x00, 0x08, 0x08, 0x03, 0x10, 0x01, 0x18, 0x01, 0x20, 0x01, 0, 0, 0, 0};
    reply(QByteArray(frame, sizeof frame));
    reply("ACK SAVEPRESET 2");
    QString text;
    EXPECT_EQ(m_transport.SendRequest(Header::MSG_SET_REQ, QStringLiteral("SAVEPRESET 2\r"), text),
              0);
    EXPECT_EQ(text, QStringLiteral("ACK SAVEPRESET 2"));
}

TEST_F(RawPeer, TextStopsAtTheFirstZeroByte) {
    learnTransportAddress();
    reply(QByteArray("ACK VERSION=1.2\0junk", 20));
    QString text;
    EXPECT_EQ(m_transport.SendRequest(Header::MSG_SET_REQ, QStringLiteral("VERSION\r"), text), 0);
    EXPECT_EQ(text, QStringLiteral("ACK VERSION=1.2"));
}

TEST_F(RawPeer, EarlierDatagramIsReadByTheNextReceive) {
    learnTransportAddress();
    // An ACK reply to sequence number 1 that arrives before the request is sent.
    const uint8_t head[] = {0x00, 0x08, 0x08, 0x03, 0x10, 0x05, 0x18, 0x01, 0x20, 0x01};
    zeb::Frame frame(head, head + sizeof head);
    const uint32_t crc = zeb::ZEB_Device::Crc32(frame.data(), frame.size());
    for (int shift = 24; shift >= 0; shift -= 8) {
        frame.push_back(uint8_t(crc >> shift));
    }
    reply(QByteArray(reinterpret_cast<const char*>(frame.data()), int(frame.size())));
    amp_t reply_amp;
    EXPECT_EQ(m_transport.SendRequest(Header::MSG_GET_REQ, amp_t(), reply_amp), 0);
}

}  // namespace
