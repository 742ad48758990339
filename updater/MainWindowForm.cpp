#include "MainWindowForm.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

namespace kolvo {

namespace {

template <class Widget>
Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QAction* action(QMainWindow* window, const char* name, const QString& text,
                const QString& icon = QString()) {
    auto* made = named(new QAction(text, window), name);
    if (!icon.isEmpty()) {
        made->setIcon(QIcon(icon));
    }
    return made;
}

}  // namespace

void MainWindowForm::setupUi(QMainWindow* window) {
    window->setObjectName(QStringLiteral("MainWindow"));
    window->resize(846, 600);
    window->setWindowIcon(QIcon(QStringLiteral(":/images/chip.png")));

    actionNetworkInterface =
        action(window, "actionNetworkInterface", QStringLiteral("Network Interface"),
               QStringLiteral(":/images/network.png"));
    actionNetworkInterface->setToolTip(QStringLiteral("Choose a Network Interface"));
    actionLoad_FWImage = action(window, "actionLoad_FWImage", QStringLiteral("Load Firmware Image"),
                                QStringLiteral(":/images/Folder-Upload-icon.png"));
    actionLoad_FWImage->setToolTip(QStringLiteral("Load Firmware Image"));
    actionExit = action(window, "actionExit", QStringLiteral("Exit"));
    actionRefresh = action(window, "actionRefresh", QStringLiteral("Refresh"),
                           QStringLiteral(":/images/refresh-icon (1).png"));
    actionAbout = action(window, "actionAbout", QStringLiteral("About"));

    auto* central = named(new QWidget(window), "centralwidget");
    auto* layout = new QVBoxLayout(central);

    auto* info = new QGridLayout;
    lbl_NetworkAdapter =
        named(new QLabel(QStringLiteral("Network Adpater:"), central), "lbl_NetworkAdapter");
    network_adapter_label = named(new QLabel(central), "network_adapter_label");
    lbl_ProductID = named(new QLabel(QStringLiteral("Product ID:"), central), "lbl_ProductID");
    product_id_label = named(new QLabel(central), "product_id_label");
    lbl_FirmwareIamge =
        named(new QLabel(QStringLiteral("Firmware Image Info:"), central), "lbl_FirmwareIamge");
    img_filename_label =
        named(new QLabel(QStringLiteral("<EMPTY>"), central), "img_filename_label");
    lbl_VersionMajor =
        named(new QLabel(QStringLiteral("Major Version:"), central), "lbl_VersionMajor");
    major_ver_label = named(new QLabel(central), "major_ver_label");
    lbl_ = named(new QLabel(QStringLiteral("Minor Version:"), central), "lbl_");
    minor_ver_label = named(new QLabel(central), "minor_ver_label");
    QLabel* const rows[][2] = {{lbl_NetworkAdapter, network_adapter_label},
                               {lbl_ProductID, product_id_label},
                               {lbl_FirmwareIamge, img_filename_label},
                               {lbl_VersionMajor, major_ver_label},
                               {lbl_, minor_ver_label}};
    for (int row = 0; row < 5; ++row) {
        info->addWidget(rows[row][0], row, 0);
        info->addWidget(rows[row][1], row, 1);
    }
    info->setColumnStretch(1, 1);
    layout->addLayout(info);

    tableView = named(new QTableView(central), "tableView");
    layout->addWidget(tableView);

    auto* buttons = new QHBoxLayout;
    select_all_pushButton =
        named(new QPushButton(QStringLiteral("Select All"), central), "select_all_pushButton");
    deselect_all_pushButton =
        named(new QPushButton(QStringLiteral("De-Select All"), central), "deselect_all_pushButton");
    overrideDeviceMatchcheckBox =
        named(new QCheckBox(QStringLiteral("Override Device Matching"), central),
              "overrideDeviceMatchcheckBox");
    back_pushButton =
        named(new QPushButton(QStringLiteral("Continue"), central), "back_pushButton");
    StartUpdate_pushButton =
        named(new QPushButton(QStringLiteral("Start Update"), central), "StartUpdate_pushButton");
    Cancel_pushButton =
        named(new QPushButton(QStringLiteral("Cancel"), central), "Cancel_pushButton");
    buttons->addWidget(select_all_pushButton);
    buttons->addWidget(deselect_all_pushButton);
    buttons->addWidget(overrideDeviceMatchcheckBox);
    buttons->addStretch(1);
    buttons->addWidget(back_pushButton);
    buttons->addWidget(StartUpdate_pushButton);
    buttons->addWidget(Cancel_pushButton);
    layout->addLayout(buttons);
    window->setCentralWidget(central);

    menubar = named(new QMenuBar(window), "menubar");
    menuFile = named(menubar->addMenu(QStringLiteral("File")), "menuFile");
    menuFile->addAction(actionNetworkInterface);
    menuFile->addAction(actionLoad_FWImage);
    menuFile->addAction(actionExit);
    menuHelp = named(menubar->addMenu(QStringLiteral("Help")), "menuHelp");
    menuHelp->addAction(actionAbout);
    window->setMenuBar(menubar);

    toolBar = named(new QToolBar(QStringLiteral("toolBar"), window), "toolBar");
    toolBar->addAction(actionNetworkInterface);
    toolBar->addAction(actionLoad_FWImage);
    toolBar->addAction(actionRefresh);
    window->addToolBar(Qt::TopToolBarArea, toolBar);

    statusbar = named(new QStatusBar(window), "statusbar");
    window->setStatusBar(statusbar);
}

}  // namespace kolvo
