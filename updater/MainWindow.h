#pragma once

#include <QMainWindow>
#include <QModelIndex>
#include <QString>

#include "MainWindowForm.h"
#include "Prompts.h"
#include "VireoThreadsTiming.h"

class NetworkInterfaceDialog;
class QCloseEvent;
class QSettings;

namespace kolvo {

class VireoThreads;

// The update utility's one window: the image's information, the device table with a progress
// bar per row and the update buttons; turns the controller's requests into button states,
// texts and the cursor. Holds the settings file, the interface dialog and the controller.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static const QString kTitle;

    explicit MainWindow(QWidget* parent = nullptr, Prompts& prompts = Prompts::standard(),
                        const VireoThreadsTiming& timing = {});
    ~MainWindow() override;

    const MainWindowForm& form() const { return m_ui; }
    NetworkInterfaceDialog* interfaceDialog() const { return m_dialog; }
    VireoThreads* controller() const { return m_controller; }

signals:
    void netIfChanged(int idx);

public slots:
    void netIfDialogResult(int finished);
    void refresh();
    void about();
    void netInterfaceShow();
    void vireoThreadsRefreshed();
    void guiUpdateFileInfo(QString filename, QString productId, QString major, QString minor);
    void handleRowClick(QModelIndex idx);
    void updateStatus(QString status);
    void enableBackButton(bool enable);
    void enableStartUpdateButton(bool enable);
    void enableCancelUpdateButton(bool enable);
    void enableSelectAllButtons(bool enable);
    void waitCursor(bool busy);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void setUpTable();
    void connectAll();
    // Some shown row is selected.
    bool anyShownSelected() const;
    bool debugMode() const;

    MainWindowForm m_ui;
    NetworkInterfaceDialog* m_dialog;
    VireoThreads* m_controller;
    QSettings* m_settings;
    Prompts& m_prompts;
};

}  // namespace kolvo
