#pragma once

#include <gtest/gtest.h>

#include <QHostAddress>

#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FakeDevice.h"
#include "QtZEB_Device.h"
#include "VireoDevice.h"

// Captures std::clog for the life of the object.
class ClogCapture {
public:
    ClogCapture() : m_old(std::clog.rdbuf(m_buffer.rdbuf())) {}
    ~ClogCapture() { std::clog.rdbuf(m_old); }
    std::string text() const { return m_buffer.str(); }
    int count(const std::string& line) const {
        int n = 0;
        for (size_t pos = text().find(line); pos != std::string::npos;
             pos = text().find(line, pos + 1)) {
            ++n;
        }
        return n;
    }

private:
    std::ostringstream m_buffer;
    std::streambuf* m_old;
};

// The transport's reply wait in tests.
constexpr int kWaitMs = 100;

// A fake device on a loopback address and a transport attached to it.
class DeviceFixture : public ::testing::Test {
protected:
    explicit DeviceFixture(const char* address = "127.0.0.1", int wait_ms = kWaitMs)
        : m_fake(address), m_transport(wait_ms) {
        m_record.setIpAddress(QHostAddress(QString::fromLatin1(address)));
    }

    void SetUp() override {
        ASSERT_TRUE(m_fake.start());
        m_transport.SetDevice(&m_record);
    }

    // Datagrams the fake saw, once `expected` arrived (or a moment passed) and no more came.
    size_t sends(size_t expected = 0) const {
        m_fake.waitForDatagrams(expected, std::chrono::milliseconds(500));
        m_fake.waitForDatagrams(expected + 1, std::chrono::milliseconds(30));
        return m_fake.log().size();
    }

    sim::FakeDevice m_fake;
    VireoDevice m_record;
    QtZEB_Device m_transport;
};
