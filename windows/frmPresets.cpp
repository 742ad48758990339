#include "frmPresets.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

#include "Prompts.h"

namespace {

const char kStyleSheet[] =
    "QWidget#selectWidget { border: 1px solid rgba(75, 76, 77, 255); border-radius: 5px;"
    " background-color: rgba(87, 174, 192, 80%); }"
    "QLabel { background: transparent; color: white; }"
    "QComboBox { background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
    " stop:0 rgba(126, 126, 126, 255), stop:1 rgba(203, 203, 203, 255));"
    " border: 1px solid black; }"
    "QPushButton { background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
    " stop:0 rgba(126, 126, 126, 255), stop:1 rgba(203, 203, 203, 255));"
    " border: 1px solid black; border-radius: 2px; color: white; min-width: 70px;"
    " min-height: 22px; }"
    "QPushButton:disabled { background-color: rgba(255, 170, 0, 80); }"
    "QPushButton:pressed { background-color: rgb(255, 85, 0); }";

}  // namespace

frmPresets::frmPresets(QWidget* parent, Prompts* prompts)
    : QDialog(parent), m_prompts(prompts ? *prompts : Prompts::standard()) {
    buildForm();
    connect(this, SIGNAL(saveDevicePresetSignal(int)), parent, SLOT(saveDevicePreset(int)));
    connect(this, SIGNAL(loadDevicePresetSignal(int)), parent, SLOT(loadDevicePreset(int)));
}

void frmPresets::buildForm() {
    setObjectName(QStringLiteral("frmPresets"));
    resize(515, 137);
    setWindowTitle(QStringLiteral("Dialog"));
    setStyleSheet(QString::fromLatin1(kStyleSheet));

    auto* outer = new QVBoxLayout(this);
    outer->setObjectName(QStringLiteral("verticalLayout_2"));
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("selectWidget"));
    panel->setAttribute(Qt::WA_StyledBackground);
    outer->addWidget(panel);

    auto* column = new QVBoxLayout(panel);
    column->setObjectName(QStringLiteral("verticalLayout"));
    auto* top = new QHBoxLayout();
    top->setObjectName(QStringLiteral("horizontalLayout"));
    auto* label = new QLabel(QStringLiteral("Select Preset:"), panel);
    label->setObjectName(QStringLiteral("label"));
    top->addWidget(label);
    top->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    column->addLayout(top);

    m_combo = new QComboBox(panel);
    m_combo->setObjectName(QStringLiteral("cbPresetSelect"));
    m_combo->addItem(QStringLiteral("Preset 0    (default)"));
    for (int slot = 1; slot <= 9; ++slot) {
        m_combo->addItem(QStringLiteral("Preset %1").arg(slot));
    }
    column->addWidget(m_combo);

    auto* bottom = new QHBoxLayout();
    bottom->setObjectName(QStringLiteral("horizontalLayout_2"));
    bottom->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    auto* ok = new QPushButton(QStringLiteral("Ok"), panel);
    ok->setObjectName(QStringLiteral("btnOk"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), panel);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    bottom->addWidget(ok);
    bottom->addWidget(cancel);
    column->addLayout(bottom);

    connect(m_combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &frmPresets::presetSelected);
    connect(ok, &QPushButton::clicked, this, &frmPresets::OK);
    connect(cancel, &QPushButton::clicked, this, &frmPresets::CANCEL);
}

void frmPresets::presetSelected(int index) {
    m_selected = index;
}

void frmPresets::OK() {
    if (m_mode == Save && m_selected == 0) {
        QMessageBox confirm;
        confirm.setWindowTitle(QStringLiteral("Save Device Default"));
        confirm.setText(
            QStringLiteral("Are you sure you want to overwrite the device's default settings?"));
        confirm.setInformativeText(QStringLiteral(
            "These are the settings that are loaded when the device is powered on."));
        confirm.setStandardButtons(QMessageBox::Save | QMessageBox::Cancel);
        confirm.setDefaultButton(QMessageBox::Save);
        if (m_prompts.runModal(confirm) != QMessageBox::Save) {
            return;
        }
    }
    if (m_mode == Save) {
        emit saveDevicePresetSignal(m_selected);
    } else {
        emit loadDevicePresetSignal(m_selected);
    }
    accept();
}

void frmPresets::CANCEL() {
    reject();
}
