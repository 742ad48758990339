#pragma once

#include <QMainWindow>
#include <QModelIndex>

#include <memory>

#include "MdslHost.h"
#include "VireoDrivers.h"
#include "VireoThreadsTiming.h"
#include "ZEB_Window.h"

class MdslLoaders;
class NetworkInterfaceDialog;
class Prompts;
class QCloseEvent;
class QEvent;
class QSettings;
class VireoDataModel;
class VireoDevice;
class VireoThreads;
struct MainWindowForm;

// The control application's window: the table of identified devices, the network interface
// choice, and the one device window, opened on a double-clicked device. Owns the controller.
class MainWindow : public QMainWindow, public MdslHost {
    Q_OBJECT
public:
    // `drivers`: the controller's SDK driver set; none given, the product's.
    explicit MainWindow(QWidget* parent = nullptr, Prompts* prompts = nullptr,
                        const ZEB_WindowTiming& window_timing = ZEB_WindowTiming(),
                        const VireoThreadsTiming& controller_timing = VireoThreadsTiming(),
                        std::unique_ptr<VireoDrivers> drivers = nullptr);
    ~MainWindow() override;

    VireoDevices* getVireoDevices() override;
    ZEB_Window* getZEB_Window() override;

    VireoThreads* controller() const { return m_controller.get(); }
    NetworkInterfaceDialog* networkInterfaceDialog() const { return m_dialog.get(); }
    MdslLoaders* loaders() const { return m_loaders; }

    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void netIfChanged(int idx);

public slots:
    void netIfDialogResult(int finished);
    void refresh();
    void about();
    void netInterfaceShow();
    void vireoThreadsRefreshed();
    void mdslWindowShow();
    void handleRowClick(QModelIndex index);
    void tableDblClick(QModelIndex index);
    // Opens nothing while a multi-device loader runs: the device window is its own then.
    void openZEB_Window(VireoDevice* device);
    void closeZEB_Window(bool refresh_flag);
    void closeZEB_Window();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void deselectAll();

    Prompts& m_prompts;
    std::unique_ptr<MainWindowForm> m_form;
    std::unique_ptr<ZEB_Window> m_window;
    std::unique_ptr<VireoDataModel> m_model;
    MdslLoaders* m_loaders = nullptr;
    std::unique_ptr<NetworkInterfaceDialog> m_dialog;
    std::unique_ptr<VireoThreads> m_controller;
    std::unique_ptr<QSettings> m_settings;
    // The row of the last click: a reset of the model invalidates the view's indexes.
    int m_last_row = -1;
};
