#pragma once

#include <QHostAddress>
#include <QMap>
#include <QStringList>
#include <QTimer>

#include <vector>

#include "IdentificationPoll.h"
#include "VireoDrivers.h"
#include "VireoThreads.h"

// A driver set without SDK drivers: logs what the controller asks of the conmon and router
// drivers and answers conmon requests a moment later (never inside the call) from a
// profile per device.
class RecordingDrivers : public VireoDrivers {
public:
    struct Profile {
        QString vireo_model = QStringLiteral("Solano 2x");
        identification::ProductInfo product;
        QString mac = QStringLiteral("00:1d:c1:00:00:0a");
        bool silent = false;
    };

    struct Request {
        QString device;
        QByteArray body;
    };

    void start(VireoThreads& controller, aud_env*, int interface_index) override {
        m_controller = &controller;
        last_interface = interface_index;
        ++starts;
    }
    void stop() override { m_controller = nullptr; }
    OvaltaVireoConmon* conmon() const override { return nullptr; }
    OvaltaVireoRouter* router() const override { return nullptr; }

    int pendingConmonRequests() const override { return pending; }
    bool conmonReady() const override { return ready; }

    aud_error_t sendConmonRequest(const QString& device, const QByteArray& body) override {
        requests.push_back({device, body});
        const Profile profile = profiles.value(device);
        VireoThreads* controller = m_controller;
        if (!controller || profile.silent) {
            return 0;
        }
        const int code = body.size() >= 4 ? (uint8_t(body[2]) << 8 | uint8_t(body[3])) : 0;
        QTimer::singleShot(0, controller, [controller, device, profile, code] {
            switch (code) {
                case 0x61:
                    controller->handleVireoInfo(device, profile.vireo_model);
                    break;
                case 0xC1:
                    controller->handleProductId(
                        profile.product.id, device, profile.product.model_version,
                        profile.product.model_name, 0, 0, profile.product.capabilities);
                    break;
                case 0x13:
                    controller->handleMacAddress(device, profile.mac);
                    break;
                default:
                    break;
            }
        });
        return 0;
    }

    aud_error_t sendVendorCommand(const QString& device, const QString& text) override {
        vendor_commands.append(device + QLatin1Char(':') + text);
        return 0;
    }

    void openDevice(const QString& name) override { opened.append(name); }
    void closeDevice(const QString& name) override { closed.append(name); }
    QString browsedDeviceName(const BrowserModel*) const override { return {}; }
    QString browsedVendorId(const BrowserModel*) const override { return {}; }
    QHostAddress routedAddress(const RouterModel*) const override { return {}; }

    // How often each kind of conmon request went to the device.
    int asked(const QString& device, int code) const {
        int count = 0;
        for (const Request& request : requests) {
            count += request.device == device && request.body.size() >= 4 &&
                     (uint8_t(request.body[2]) << 8 | uint8_t(request.body[3])) == code;
        }
        return count;
    }

    QMap<QString, Profile> profiles;
    std::vector<Request> requests;
    QStringList vendor_commands;
    QStringList opened;
    QStringList closed;
    int pending = 0;
    bool ready = true;
    int starts = 0;
    int last_interface = -1;

private:
    VireoThreads* m_controller = nullptr;
};
