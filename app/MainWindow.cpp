#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QTableView>

#include "AboutDialog.h"
#include "MainWindowForm.h"
#include "MdslLoaders.h"
#include "NetworkInterfaceDialog.h"
#include "Prompts.h"
#include "VireoDataModel.h"
#include "VireoDevice.h"
#include "VireoDevices.h"
#include "VireoDrivers.h"
#include "VireoThreads.h"

namespace {

const QString kInterfaceKey = QStringLiteral("network/interface");

}  // namespace

MainWindow::MainWindow(QWidget* parent, Prompts* prompts, const ZEB_WindowTiming& window_timing,
                       const VireoThreadsTiming& controller_timing,
                       std::unique_ptr<VireoDrivers> drivers)
    : QMainWindow(parent),
      m_prompts(prompts ? *prompts : Prompts::standard()),
      m_form(std::make_unique<MainWindowForm>()) {
    m_settings = std::make_unique<QSettings>(ZEB_Window::settingsPath(), QSettings::IniFormat);
    const int stored = m_settings->value(kInterfaceKey, QStringLiteral("-1")).toInt();
    m_dialog = std::make_unique<NetworkInterfaceDialog>(this, stored);
    m_controller = std::make_unique<VireoThreads>(m_dialog->getSelectedIndex(), this,
                                                  std::move(drivers), controller_timing);
    m_controller->hide();

    m_form->setupUi(this);
    m_window = std::make_unique<ZEB_Window>(nullptr, prompts, window_timing);
    m_model = std::make_unique<VireoDataModel>(m_controller->getVireoDevices(), this);
    m_loaders = new MdslLoaders(this, prompts);

    auto* proxy = new QSortFilterProxyModel(this);
    proxy->setSourceModel(m_model.get());
    QTableView* table = m_form->tableView;
    table->setModel(proxy);
    table->setSortingEnabled(true);
    QHeaderView* header = table->horizontalHeader();
    const int fixed_widths[][2] = {{0, 25}, {1, 250}, {3, 125}, {4, 100}};
    for (const auto& [section, width] : fixed_widths) {
        header->setSectionResizeMode(section, QHeaderView::Fixed);
        header->resizeSection(section, width);
    }
    header->setSectionResizeMode(2, QHeaderView::Stretch);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->sortByColumn(1, Qt::AscendingOrder);
    table->viewport()->installEventFilter(this);

    connect(m_form->actionExit, &QAction::triggered, this, &QWidget::close);
    connect(m_form->actionRefresh, &QAction::triggered, this, &MainWindow::refresh);
    connect(m_form->actionAbout, &QAction::triggered, this, &MainWindow::about);
    connect(m_form->actionNetworkInterface, &QAction::triggered, this,
            &MainWindow::netInterfaceShow);
    connect(m_dialog.get(), &QDialog::finished, this, &MainWindow::netIfDialogResult);
    connect(m_controller.get(), &VireoThreads::vireoThreadsRefreshed, this,
            &MainWindow::vireoThreadsRefreshed);
    connect(m_window.get(), &ZEB_Window::zebPluginClosed, this,
            QOverload<>::of(&MainWindow::closeZEB_Window));
    connect(m_form->actionMultiLoad, &QAction::triggered, this, &MainWindow::mdslWindowShow);

    if (stored == -1) {
        m_dialog->show();
    }
}

MainWindow::~MainWindow() {
    m_form.reset();
    m_window.reset();
    m_model.reset();
    m_dialog.reset();
    m_controller.reset();
}

VireoDevices* MainWindow::getVireoDevices() {
    return m_controller->getVireoDevices();
}

ZEB_Window* MainWindow::getZEB_Window() {
    return m_window.get();
}

void MainWindow::netIfDialogResult(int finished) {
    if (finished == 0) {
        return;
    }
    const int selected = m_dialog->getSelectedIndex();
    if (m_settings->value(kInterfaceKey, QStringLiteral("0")).toInt() != selected) {
        m_settings->setValue(kInterfaceKey, selected);
        m_settings->sync();
        m_controller->changeNetwork(selected);
    }
}

void MainWindow::refresh() {
    m_controller->refresh();
}

void MainWindow::about() {
    AboutDialog dialog(this);
    dialog.show();
    m_prompts.runModal(dialog);
}

void MainWindow::netInterfaceShow() {
    m_dialog->show();
}

void MainWindow::vireoThreadsRefreshed() {}

void MainWindow::mdslWindowShow() {
    m_loaders->open();
}

void MainWindow::closeEvent(QCloseEvent* e) {
    e->accept();
    m_dialog->close();
}

void MainWindow::deselectAll() {
    m_form->tableView->clearSelection();
    for (VireoDevice* device : m_controller->getVireoDevices()->getDevices()) {
        device->setSelected(false);
    }
}

void MainWindow::handleRowClick(QModelIndex index) {
    const QModelIndex name = m_form->tableView->model()->index(index.row(), 1);
    deselectAll();
    if (!name.isValid()) {
        return;
    }
    if (VireoDevice* device =
            m_controller->getVireoDevices()->findByName(name.data().toString(), nullptr)) {
        device->setSelected(!device->isSelected());
    }
    m_model->invalidateModel();
}

void MainWindow::tableDblClick(QModelIndex index) {
    const QModelIndex name = m_form->tableView->model()->index(index.row(), 1);
    m_form->tableView->clearSelection();
    if (!name.isValid()) {
        return;
    }
    if (VireoDevice* device =
            m_controller->getVireoDevices()->findByName(name.data().toString(), nullptr)) {
        openZEB_Window(device);
    }
}

void MainWindow::openZEB_Window(VireoDevice* device) {
    if (m_loaders->anyRunning()) {
        return;
    }
    QPointer<VireoDevice> kept(device);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents();
    // A refresh run by those events deletes every record.
    if (kept && m_window->setDevice(kept)) {
        m_window->hide();
        m_window->show();
        m_window->repaint();
        QApplication::restoreOverrideCursor();
        return;
    }
    QApplication::restoreOverrideCursor();
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("ZEB Plugin"));
    box.setText(QStringLiteral("Failed to open the device."));
    box.setStandardButtons(QMessageBox::Ok);
    m_prompts.runModal(box);
}

void MainWindow::closeZEB_Window(bool refresh_flag) {
    m_window->stopPeriodicUpdates();
    m_window->hide();
    m_window->setDevice(nullptr);
    if (refresh_flag) {
        m_controller->refresh();
    }
}

void MainWindow::closeZEB_Window() {
    closeZEB_Window(true);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    QTableView* table = m_form ? m_form->tableView : nullptr;
    if (!table || watched != table->viewport()) {
        return QMainWindow::eventFilter(watched, event);
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        if (static_cast<QMouseEvent*>(event)->button() != Qt::RightButton) {
            m_last_row = table->currentIndex().row();
            handleRowClick(table->currentIndex());
            return true;
        }
        deselectAll();
        m_model->invalidateModel();
        return false;
    }
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() != Qt::RightButton && m_last_row >= 0) {
        tableDblClick(table->model()->index(m_last_row, 1));
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
