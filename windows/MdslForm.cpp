#include "MdslForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const char kStyleSheet[] =
    "QMainWindow#Mdsl_Window, QWidget#centralwidget { background-color: qlineargradient("
    "spread:pad, x1:1, y1:1, x2:1, y2:0, stop:0.5 rgba(155, 155, 155, 255),"
    " stop:1 rgba(180, 180, 180, 255)); }";

QLabel* label(const char* name, const QString& text, Qt::Alignment alignment, QWidget* parent) {
    auto* made = new QLabel(text, parent);
    made->setObjectName(QLatin1String(name));
    made->setAlignment(alignment | Qt::AlignVCenter);
    return made;
}

QPushButton* button(const char* name, const QString& text, QWidget* parent) {
    auto* made = new QPushButton(text, parent);
    made->setObjectName(QLatin1String(name));
    return made;
}

}  // namespace

void MdslForm::setupUi(QMainWindow* window) {
    window->setObjectName(QStringLiteral("Mdsl_Window"));
    window->setWindowTitle(QStringLiteral("Multi Preset Load"));
    window->resize(650, 570);
    window->setMinimumSize(650, 570);
    window->setStyleSheet(QString::fromLatin1(kStyleSheet));

    auto* central = new QWidget(window);
    central->setObjectName(QStringLiteral("centralwidget"));
    auto* column = new QVBoxLayout(central);

    auto* info = new QGroupBox(QStringLiteral("  Preset File Info "), central);
    info->setObjectName(QStringLiteral("groupBox"));
    info->setMaximumHeight(115);
    auto* grid = new QGridLayout(info);
    grid->addWidget(label("file_label", QStringLiteral("Preset File Name:"), Qt::AlignRight, info),
                    0, 0);
    file_name = label("file_name", QString(), Qt::AlignLeft, info);
    file_name->setMinimumWidth(160);
    grid->addWidget(file_name, 0, 1);
    grid->addWidget(label("label_2", QStringLiteral("Model Name:"), Qt::AlignRight, info), 1, 0);
    model_name = label("model_name", QString(), Qt::AlignLeft, info);
    grid->addWidget(model_name, 1, 1);
    grid->addWidget(label("label", QStringLiteral("Preset # to save to:"), Qt::AlignRight, info), 2,
                    0);
    preset_comboBox = new QComboBox(info);
    preset_comboBox->setObjectName(QStringLiteral("preset_comboBox"));
    preset_comboBox->setMinimumWidth(110);
    grid->addWidget(preset_comboBox, 2, 1, Qt::AlignLeft);
    select_file_pushButton = button("select_file_pushButton", QStringLiteral("Select File"), info);
    grid->addWidget(select_file_pushButton, 0, 2);
    clear_file_pushButton = button("clear_file_pushButton", QStringLiteral("Clear File"), info);
    grid->addWidget(clear_file_pushButton, 1, 2);
    grid->setColumnStretch(1, 1);
    column->addWidget(info);

    column->addWidget(label("label_3",
                            QStringLiteral("List of discovered devices matching the above "
                                           "selected preset file."),
                            Qt::AlignLeft, central));
    column->addWidget(label("label_4",
                            QStringLiteral("Please select all devices using this preset then "
                                           "press start."),
                            Qt::AlignLeft, central));
    auto* selection = new QHBoxLayout();
    select_all_pushButton = button("select_all_pushButton", QStringLiteral("Select All"), central);
    deselect_all_pushButton =
        button("deselect_all_pushButton", QStringLiteral("De-Select All"), central);
    selection->addWidget(select_all_pushButton);
    selection->addWidget(deselect_all_pushButton);
    selection->addStretch();
    column->addLayout(selection);

    tableView = new QTableView(central);
    tableView->setObjectName(QStringLiteral("tableView"));
    tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView->horizontalHeader()->setStretchLastSection(true);
    // The tick column is 25 pixels wide, narrower than some styles' least section width.
    tableView->horizontalHeader()->setMinimumSectionSize(25);
    tableView->setFocusPolicy(Qt::NoFocus);
    column->addWidget(tableView);

    auto* run = new QHBoxLayout();
    run->addStretch();
    cancel_pushButton = button("cancel_pushButton", QStringLiteral("Cancel"), central);
    start_pushButton = button("start_pushButton", QStringLiteral("Start"), central);
    run->addWidget(cancel_pushButton);
    run->addWidget(start_pushButton);
    column->addLayout(run);
    window->setCentralWidget(central);

    auto* menu = new QMenuBar(window);
    menu->setObjectName(QStringLiteral("menubar"));
    window->setMenuBar(menu);
    statusbar = new QStatusBar(window);
    statusbar->setObjectName(QStringLiteral("statusbar"));
    window->setStatusBar(statusbar);
}
