#include "Mdsl_Window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>

#include "DevList.h"
#include "MdslDev.h"
#include "MdslForm.h"
#include "MdslHost.h"
#include "PresetFile.h"
#include "ProgressBarDelegate.h"
#include "Prompts.h"
#include "VireoDevices.h"
#include "ZEB_Window.h"

namespace {

const QString kStatus = QStringLiteral("Multiple Device Preset Load...");
constexpr int kFirstSlotItem = 1;  // "Default": slot 0
constexpr int kSlotItems = 11;

}  // namespace

class Mdsl_Window::Depth {
public:
    explicit Depth(Mdsl_Window& window) : m_window(window) { ++m_window.m_depth; }
    ~Depth() {
        if (--m_window.m_depth == 0 && m_window.m_delete_when_idle) {
            m_window.deleteLater();
        }
    }
    Depth(const Depth&) = delete;
    Depth& operator=(const Depth&) = delete;

private:
    Mdsl_Window& m_window;
};

Mdsl_Window::Mdsl_Window(QWidget* parent, Prompts* prompts, int step_pause_ms)
    : QMainWindow(parent),
      m_host(dynamic_cast<MdslHost*>(parent)),
      m_prompts(prompts ? *prompts : Prompts::standard()),
      m_step_pause_ms(step_pause_ms),
      m_form(std::make_unique<MdslForm>()) {
    m_form->setupUi(this);
    m_form->clear_file_pushButton->setEnabled(false);
    m_form->start_pushButton->setEnabled(false);
    m_form->cancel_pushButton->setEnabled(false);

    m_list = std::make_unique<DevList>(this);
    m_delegate = new ProgressBarDelegate(m_list.get(), this);
    QTableView* table = m_form->tableView;
    table->setModel(m_list.get());
    table->setColumnWidth(0, 25);
    table->setColumnWidth(1, 250);
    table->setItemDelegateForColumn(2, m_delegate);

    connect(table, &QTableView::clicked, m_list.get(), &DevList::handleRowClick,
            Qt::QueuedConnection);
    connect(table, &QTableView::clicked, this, &Mdsl_Window::handleRowClick, Qt::QueuedConnection);
    if (m_host && m_host->getVireoDevices()) {
        connect(m_host->getVireoDevices(), &VireoDevices::vireoDevicesChanged, this,
                &Mdsl_Window::handle_devices_changed, Qt::QueuedConnection);
    }
    QMetaObject::connectSlotsByName(this);
    statusBar()->showMessage(kStatus);
    on_select_file_pushButton_clicked();
}

Mdsl_Window::~Mdsl_Window() = default;

ZEB_Window* Mdsl_Window::deviceWindow() const {
    return m_host ? m_host->getZEB_Window() : nullptr;
}

void Mdsl_Window::deleteWhenIdle() {
    if (m_depth > 0) {
        m_delete_when_idle = true;
    } else {
        deleteLater();
    }
}

void Mdsl_Window::closeEvent(QCloseEvent* event) {
    m_running = false;
    emit closing();
    event->accept();
}

void Mdsl_Window::repaintTable() {
    m_form->tableView->viewport()->update();
}

void Mdsl_Window::handleRowClick(QModelIndex) {
    m_list->reset();
    repaintTable();
}

void Mdsl_Window::handle_devices_changed() {
    if (!m_list->getVireoDevices() && m_host) {
        m_list->setVireoDevices(m_host->getVireoDevices());
    }
}

void Mdsl_Window::on_select_file_pushButton_clicked() {
    ZEB_Window* window = deviceWindow();
    if (!window) {
        return;
    }
    const QByteArray file = window->openReturnPresetFile();
    if (file.isEmpty()) {
        return;
    }
    m_file_header = presetfile::header(file);
    m_file = file;
    m_form->model_name->setText(presetfile::modelName(file));
    m_form->select_file_pushButton->setEnabled(false);
    m_form->start_pushButton->setEnabled(true);
    m_form->clear_file_pushButton->setEnabled(true);
    m_form->file_name->setText(window->getPresetFileName());
    QComboBox* presets = m_form->preset_comboBox;
    presets->addItem(QStringLiteral("Please make selection..."), 0);
    presets->addItem(QStringLiteral("Default"), kFirstSlotItem);
    for (int item = kFirstSlotItem + 1; item < kSlotItems; ++item) {
        presets->addItem(QStringLiteral("Preset %1").arg(item - 1), item);
    }
    m_list->handleDevicesChanged();
    repaintTable();
}

void Mdsl_Window::on_clear_file_pushButton_clicked() {
    m_file.clear();
    m_form->file_name->clear();
    m_form->start_pushButton->setEnabled(false);
    m_form->cancel_pushButton->setEnabled(false);
    m_form->select_file_pushButton->setEnabled(true);
    m_form->clear_file_pushButton->setEnabled(false);
    m_form->preset_comboBox->clear();
    m_current = nullptr;
    m_list->handleDevicesChanged();
    repaintTable();
}

void Mdsl_Window::on_preset_comboBox_activated(int) {}

void Mdsl_Window::on_select_all_pushButton_clicked() {
    m_list->setAllSelected(true);
    repaintTable();
}

void Mdsl_Window::on_deselect_all_pushButton_clicked() {
    m_list->setAllSelected(false);
    repaintTable();
}

void Mdsl_Window::on_cancel_pushButton_clicked() {
    m_running = false;
}

void Mdsl_Window::on_start_pushButton_clicked() {
    const Depth depth(*this);
    const int item = m_form->preset_comboBox->currentIndex();
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Warning"));
    box.setIcon(QMessageBox::Warning);
    if (item <= 0) {
        box.setText(QStringLiteral("Cannot proceed:"));
        box.setInformativeText(
            QStringLiteral("Please select a preset number that this file will be saved to on the "
                           "selected devices."));
        box.setStandardButtons(QMessageBox::Ok);
        m_prompts.runModal(box);
        return;
    }
    const int slot = item - 1;
    box.setText(QStringLiteral("The configuration is about to be applied..."));
    box.setInformativeText(QStringLiteral("The selected configuration will be stored as ") +
                           (item == kFirstSlotItem ? QStringLiteral("the default preset.")
                                                   : QStringLiteral("preset number %1").arg(slot)));
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    if (m_prompts.runModal(box) != QMessageBox::Ok) {
        return;
    }
    m_slot = slot;
    m_running = true;
    m_form->cancel_pushButton->setEnabled(true);
    for (QPushButton* button :
         {m_form->start_pushButton, m_form->clear_file_pushButton, m_form->select_file_pushButton,
          m_form->select_all_pushButton, m_form->deselect_all_pushButton}) {
        button->setEnabled(false);
    }
    statusBar()->showMessage(kStatus + QStringLiteral("  In Progress..."));
    QTimer::singleShot(m_step_pause_ms, this, &Mdsl_Window::process_next);
}

void Mdsl_Window::restoreControls() {
    m_form->cancel_pushButton->setEnabled(false);
    m_form->start_pushButton->setEnabled(false);
    for (QPushButton* button : {m_form->clear_file_pushButton, m_form->select_file_pushButton,
                                m_form->select_all_pushButton, m_form->deselect_all_pushButton}) {
        button->setEnabled(true);
    }
}

void Mdsl_Window::process_next() {
    const Depth depth(*this);
    if (!m_running) {
        restoreControls();
        return;
    }
    if (!m_current) {
        m_current = m_list->nextPending();
    }
    if (!m_current) {
        finishRun();
        return;
    }
    serve(*m_current);
    m_current = nullptr;
    if (!m_delete_when_idle) {
        QTimer::singleShot(m_step_pause_ms, this, &Mdsl_Window::process_next);
    }
}

void Mdsl_Window::finishRun() {
    const bool failed = m_list->anyFailed();
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(failed ? QStringLiteral("Warning") : QStringLiteral("Info"));
    box.setText(
        failed ? QStringLiteral("One or more errors occurred while applying presets.")
               : QStringLiteral("Successfully loaded the preset file to all selected devices."));
    box.setInformativeText(QString());
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    m_prompts.runModal(box);
    restoreControls();
    statusBar()->showMessage(kStatus + QStringLiteral("  Done..."));
    m_running = false;
}

// Attach, apply the file, store it in the slot, detach. A row whose record is gone fails
// without anything being sent.
void Mdsl_Window::serve(MdslDev& row) {
    ZEB_Window* window = deviceWindow();
    VireoDevice* device = row.getDevice();
    if (!window || !device) {
        row.setStatus(MdslDev::kFailed);
        m_list->reset();
        repaintTable();
        return;
    }
    window->setDevice(device);
    window->stopPeriodicUpdates();
    if (window->presetLoadFile(m_file)) {
        row.setProgress(50);
    } else {
        row.setStatus(MdslDev::kFailed);
    }
    m_list->reset();
    repaintTable();
    if (row.getStatus() != MdslDev::kFailed) {
        if (window->saveDevicePreset(m_slot)) {
            row.setStatus(MdslDev::kDone);
            row.setProgress(100);
        } else {
            row.setStatus(MdslDev::kFailed);
        }
        m_list->reset();
        repaintTable();
    }
    window->setDevice(nullptr);
}
