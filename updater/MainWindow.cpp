#include "MainWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>

#include "AboutDialog.h"
#include "NetworkInterfaceDialog.h"
#include "ProgressBarDelegate.h"
#include "Settings.h"
#include "VireoDevice.h"
#include "VireoDevices.h"
#include "VireoThreads.h"

namespace kolvo {

namespace {

const QString kInterfaceKey = QStringLiteral("network/interface");
const QString kDebugKey = QStringLiteral("MODE/debug");

}  // namespace

const QString MainWindow::kTitle = QStringLiteral("Kolvo Firmware Update");

MainWindow::MainWindow(QWidget* parent, Prompts& prompts, const VireoThreadsTiming& timing)
    : QMainWindow(parent),
      m_settings(new QSettings(settingsFilePath(), QSettings::IniFormat, this)),
      m_prompts(prompts) {
    const int stored = m_settings->value(kInterfaceKey, QStringLiteral("-1")).toInt();
    m_dialog = new NetworkInterfaceDialog(this, stored);
    m_controller = new VireoThreads(m_dialog->getSelectedIndex(), this, prompts, timing);
    m_controller->hide();

    m_ui.setupUi(this);
    setWindowTitle(kTitle);
    m_ui.network_adapter_label->setText(m_dialog->getCurrentText());
    setUpTable();

    m_ui.toolBar->setEnabled(true);
    m_ui.menubar->setEnabled(true);
    m_ui.overrideDeviceMatchcheckBox->setChecked(false);
    m_ui.back_pushButton->hide();
    enableStartUpdateButton(false);
    enableCancelUpdateButton(false);
    enableSelectAllButtons(false);

    connectAll();

    if (stored == -1 && !m_controller->isUpdateRunning()) {
        m_dialog->show();
    }
}

MainWindow::~MainWindow() {
    delete m_dialog;
    delete m_controller;
}

void MainWindow::setUpTable() {
    QTableView* table = m_ui.tableView;
    table->setModel(m_controller->getVireoDevices());
    table->setItemDelegateForColumn(
        VireoDevices::kProgressColumn,
        new ProgressBarDelegate(m_controller->updateRun(), m_controller));
    table->setShowGrid(false);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setFocusPolicy(Qt::NoFocus);
    table->setFrameShape(QFrame::StyledPanel);
    table->horizontalHeader()->setVisible(true);
    table->horizontalHeader()->setDefaultSectionSize(100);
    table->horizontalHeader()->setMinimumSectionSize(10);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(20);
    table->resizeRowsToContents();
    table->resizeColumnsToContents();
    table->setColumnWidth(VireoDevices::kSelectedColumn, 25);
    table->setColumnWidth(VireoDevices::kNameColumn, 125);
    table->setColumnWidth(VireoDevices::kAddressColumn, 100);
    table->setColumnWidth(VireoDevices::kMcuVersionColumn, 100);
}

void MainWindow::connectAll() {
    VireoThreads* c = m_controller;
    VireoDevices* devices = c->getVireoDevices();
    connect(m_ui.actionExit, &QAction::triggered, this, &MainWindow::close);
    connect(m_ui.actionRefresh, &QAction::triggered, this, &MainWindow::refresh);
    connect(m_ui.actionAbout, &QAction::triggered, this, &MainWindow::about);
    connect(m_ui.actionNetworkInterface, &QAction::triggered, this, &MainWindow::netInterfaceShow);
    connect(m_dialog, &QDialog::finished, this, &MainWindow::netIfDialogResult);
    connect(c, &VireoThreads::vireoThreadsRefreshed, this, &MainWindow::vireoThreadsRefreshed);
    connect(m_ui.actionLoad_FWImage, &QAction::triggered, c, &VireoThreads::loadImageFile);
    connect(c, &VireoThreads::guiUpdateFileInfo, this, &MainWindow::guiUpdateFileInfo);
    connect(m_ui.tableView, &QTableView::clicked, devices, &VireoDevices::handleRowClick);
    connect(m_ui.tableView, &QTableView::clicked, this, &MainWindow::handleRowClick);
    connect(c, &VireoThreads::updateStatus, this, &MainWindow::updateStatus);
    connect(devices, &VireoDevices::updateStatus, this, &MainWindow::updateStatus);
    connect(m_ui.back_pushButton, &QPushButton::clicked, c, &VireoThreads::backToMainWindow);
    connect(m_ui.StartUpdate_pushButton, &QPushButton::clicked, c,
            &VireoThreads::startFirmwareUpdates);
    connect(m_ui.Cancel_pushButton, &QPushButton::clicked, c, &VireoThreads::cancelFirmwareUpdates);
    connect(m_ui.select_all_pushButton, &QPushButton::clicked, c, &VireoThreads::selectAllDevices);
    connect(m_ui.deselect_all_pushButton, &QPushButton::clicked, c,
            &VireoThreads::deselectAllDevices);
    connect(c, &VireoThreads::enableBackButton, this, &MainWindow::enableBackButton);
    connect(c, &VireoThreads::enableStartUpdateButton, this, &MainWindow::enableStartUpdateButton);
    connect(c, &VireoThreads::enableCancelUpdateButton, this,
            &MainWindow::enableCancelUpdateButton);
    connect(c, &VireoThreads::enableSelectAllButtons, this, &MainWindow::enableSelectAllButtons);
    connect(m_ui.overrideDeviceMatchcheckBox, &QCheckBox::clicked, c,
            &VireoThreads::handleOverrideMatching);
    connect(devices, &VireoDevices::enableStartUpdateButton, this,
            &MainWindow::enableStartUpdateButton);
    connect(devices, &VireoDevices::enableCancelUpdateButton, this,
            &MainWindow::enableCancelUpdateButton);
    // The table lives as long as the controller: one connection covers every restart.
    connect(devices, &VireoDevices::enableWaitCursor, this, &MainWindow::waitCursor);
}

void MainWindow::netIfDialogResult(int finished) {
    if (finished == 0) {
        return;
    }
    const int selected = m_dialog->getSelectedIndex();
    if (selected == m_settings->value(kInterfaceKey, QStringLiteral("0")).toInt()) {
        return;
    }
    m_ui.network_adapter_label->setText(m_dialog->getCurrentText());
    m_settings->setValue(kInterfaceKey, selected);
    m_controller->changeNetwork(selected);
}

void MainWindow::refresh() {
    m_controller->refresh();
}

void MainWindow::about() {
    AboutDialog dialog(this, QStringLiteral("Kolvo Firmware Update"), QStringLiteral("1.3"));
    dialog.show();
    m_prompts.runModal(dialog);
}

void MainWindow::netInterfaceShow() {
    if (!m_controller->isUpdateRunning()) {
        m_dialog->show();
    }
}

void MainWindow::vireoThreadsRefreshed() {}

void MainWindow::closeEvent(QCloseEvent* e) {
    e->accept();
    m_dialog->close();
}

void MainWindow::guiUpdateFileInfo(QString filename, QString productId, QString major,
                                   QString minor) {
    m_ui.img_filename_label->setText(filename);
    m_ui.product_id_label->setText(productId);
    m_ui.major_ver_label->setText(major);
    m_ui.minor_ver_label->setText(minor);
}

void MainWindow::handleRowClick(QModelIndex) {
    if (!m_controller->isUpdateRunning()) {
        m_ui.tableView->clearSelection();
    }
}

void MainWindow::updateStatus(QString status) {
    m_ui.statusbar->showMessage(status);
}

void MainWindow::enableBackButton(bool enable) {
    if (enable) {
        m_ui.back_pushButton->show();
        return;
    }
    m_ui.toolBar->setEnabled(true);
    m_ui.menubar->setEnabled(true);
    m_ui.overrideDeviceMatchcheckBox->setChecked(false);
    m_ui.back_pushButton->hide();
}

bool MainWindow::anyShownSelected() const {
    for (const VireoDevice* device : m_controller->getVireoDevices()->getVisibleDevices()) {
        if (device->isSelected()) {
            return true;
        }
    }
    return false;
}

void MainWindow::enableStartUpdateButton(bool enable) {
    m_ui.StartUpdate_pushButton->setEnabled(
        enable && m_controller->getVireoDevices()->rowCount() > 0 && anyShownSelected());
}

void MainWindow::enableCancelUpdateButton(bool enable) {
    if (enable && anyShownSelected() && m_controller->isUpdateRunning()) {
        m_ui.toolBar->setEnabled(false);
        m_ui.menubar->setEnabled(false);
        m_ui.Cancel_pushButton->setEnabled(true);
    } else {
        m_ui.Cancel_pushButton->setEnabled(false);
    }
}

bool MainWindow::debugMode() const {
    return m_settings->value(kDebugKey, QStringLiteral("0")).toBool();
}

void MainWindow::enableSelectAllButtons(bool enable) {
    const bool debug = debugMode();
    m_ui.lbl_ProductID->setVisible(debug);
    m_ui.product_id_label->setVisible(debug);
    m_ui.overrideDeviceMatchcheckBox->setEnabled(enable);
    bool buttons = enable;
    if (m_controller->getVireoDevices()->rowCount() == 0) {
        buttons = false;
    } else if (!debug && m_ui.overrideDeviceMatchcheckBox->isChecked()) {
        buttons = false;
    }
    m_ui.select_all_pushButton->setEnabled(buttons);
    m_ui.deselect_all_pushButton->setEnabled(buttons);
}

void MainWindow::waitCursor(bool busy) {
    centralWidget()->setCursor(busy ? Qt::BusyCursor : Qt::ArrowCursor);
}

}  // namespace kolvo
