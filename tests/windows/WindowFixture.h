#pragma once

#include <gtest/gtest.h>

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <vector>

#include "FakeDevice.h"
#include "FakePrompts.h"
#include "VireoDevice.h"
#include "ZEB_Window.h"

// One request the fake device saw, decoded.
struct SeenRequest {
    uint32_t msg_type = 0;
    uint32_t payload_type = 0;
    sim::Bytes bytes;  // the whole datagram
    sim::Bytes payload;
    bool text = false;
};

inline std::vector<SeenRequest> requestsOf(const sim::FakeDevice& fake) {
    std::vector<SeenRequest> seen;
    for (const auto& datagram : fake.log()) {
        SeenRequest request;
        request.bytes = datagram.bytes;
        if (auto frame = sim::decodeFrame(datagram.bytes.data(), datagram.bytes.size())) {
            request.msg_type = frame->header.msg_type;
            request.payload_type = frame->header.payload_type;
            request.payload = frame->payload;
        } else {
            request.text = true;
        }
        seen.push_back(request);
    }
    return seen;
}

inline std::vector<SeenRequest> setRequestsOf(const sim::FakeDevice& fake) {
    std::vector<SeenRequest> sets;
    for (const SeenRequest& request : requestsOf(fake)) {
        if (request.msg_type == 1) {
            sets.push_back(request);
        }
    }
    return sets;
}

template <class Message>
Message decoded(const SeenRequest& request) {
    Message message;
    message.ParsePartialFromArray(request.payload.data(), int(request.payload.size()));
    return message;
}

// A device state a window can show: both channels, eight bands each.
inline dsp_t deviceDsp() {
    dsp_t dsp;
    dsp.set_dsp_id(0);
    for (int c = 0; c < 2; ++c) {
        channel_t* channel = dsp.add_channel();
        channel->set_channel_id(uint32_t(c));
        channel->mutable_input()->set_gain(0);
        channel->mutable_output()->set_gain(0);
        channel->mutable_high_pass_filter()->set_freq(50);
        channel->mutable_low_pass_filter()->set_freq(20000);
        for (int b = 0; b < 8; ++b) {
            dsp_peq_t* band = channel->add_peq();
            band->set_band_id(uint32_t(b));
            band->set_freq(uint32_t(1000 * (b + 1)));
            band->set_gain(0);
            band->set_q(1.41421354f);
        }
    }
    return dsp;
}

// A device window with short waits, its prompts answered by a script, attached to a fake
// device on a loopback address. The settings live in a temporary folder.
class WindowFixture : public ::testing::Test {
public:
    static ZEB_WindowTiming shortTiming() {
        ZEB_WindowTiming timing;
        timing.reply_wait_ms = 100;
        timing.update_interval_ms = 50;
        timing.preset_store_wait_ms = 200;
        timing.tftp.command_pause_ms = 20;
        timing.tftp.ack_timeout_ms = 100;
        timing.tftp.resend_pause_ms = 10;
        return timing;
    }

protected:
    explicit WindowFixture(bool full_bandwidth = false, bool debug = false) : m_fake("127.0.0.1") {
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        QSettings settings(ZEB_Window::settingsPath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("MODE/debug"), debug);
        settings.sync();
        qz_msgs::system_t system;
        system.set_full_bandwidth(full_bandwidth);
        system.set_location("Lobby A");
        m_fake.setSystem(system);
        m_fake.setDsp(deviceDsp());
        m_record.setName(QStringLiteral("AMP-1"));
        m_record.setModelName(QStringLiteral("ZEB-2X100"));
        m_record.setIpAddress(QHostAddress(QStringLiteral("127.0.0.1")));
        m_window = std::make_unique<ZEB_Window>(nullptr, &m_prompts, shortTiming());
    }

    void SetUp() override { ASSERT_TRUE(m_fake.start()); }

    // Attaches and stops the timer, so a test drives the reads itself.
    void attach() {
        ASSERT_TRUE(m_window->setDevice(&m_record));
        m_window->stopPeriodicUpdates();
        m_fake.clearLog();
    }

    template <class T>
    T* widget(const char* name) {
        T* found = m_window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_TRUE(found) << name;
        return found;
    }

    QTemporaryDir m_config;
    sim::FakeDevice m_fake;
    VireoDevice m_record;
    FakePrompts m_prompts;
    std::unique_ptr<ZEB_Window> m_window;
};
