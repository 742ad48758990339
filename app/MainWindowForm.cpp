#include "MainWindowForm.h"

#include <QAction>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QSpacerItem>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

const char kLogo[] = ":/images/QZ-Logo-2.png";

const char kStyleSheet[] =
    "QWidget#MainWindow, QWidget#centralWidget { background-color: qlineargradient("
    "spread:pad, x1:1, y1:1, x2:1, y2:0, stop:0.5 rgba(155, 155, 155, 255),"
    " stop:1 rgba(180, 180, 180, 255)); }";

QAction* action(const char* name, const QString& text, const char* icon, QMainWindow* window) {
    auto* made = new QAction(text, window);
    made->setObjectName(QLatin1String(name));
    if (icon) {
        made->setIcon(QIcon(QLatin1String(icon)));
    }
    return made;
}

}  // namespace

void MainWindowForm::setupUi(QMainWindow* window) {
    window->setObjectName(QStringLiteral("MainWindow"));
    window->resize(804, 542);
    window->setCursor(Qt::ArrowCursor);
    window->setMouseTracking(false);
    window->setWindowIcon(QIcon(QLatin1String(kLogo)));
    window->setStyleSheet(QString::fromLatin1(kStyleSheet));
    window->setWindowTitle(QStringLiteral("Corvantix ZEB Control"));

    actionNetworkInterface = action("actionNetworkInterface", QStringLiteral("NetworkInterface"),
                                    ":/images/network.png", window);
    actionNetworkInterface->setToolTip(
        QStringLiteral("<html><head/><body><p>Select Network Interface</p></body></html>"));
    actionRefresh =
        action("actionRefresh", QStringLiteral("Refresh"), ":/images/refresh-icon (1).png", window);
    actionRefresh->setToolTip(QStringLiteral("Refresh Vireo Network"));
    actionExit = action("actionExit", QStringLiteral("Exit"), nullptr, window);
    actionAbout = action("actionAbout", QStringLiteral("About"), nullptr, window);
    actionMultiLoad = action("actionMultiLoad", QStringLiteral("MultiLoad"),
                             ":/images/Folder-Upload-icon.png", window);
    actionMultiLoad->setToolTip(QStringLiteral("Load preset file to multiple devices"));

    auto* central = new QWidget(window);
    central->setObjectName(QStringLiteral("centralWidget"));
    auto* column = new QVBoxLayout(central);
    column->setObjectName(QStringLiteral("verticalLayout"));
    column->setSpacing(6);
    column->setContentsMargins(11, 11, 11, 11);
    auto* row = new QHBoxLayout();
    row->setObjectName(QStringLiteral("horizontalLayout"));
    row->setSpacing(6);
    row->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    label = new QLabel(central);
    label->setObjectName(QStringLiteral("label"));
    label->setMaximumSize(189, 42);
    label->setPixmap(QPixmap(QLatin1String(kLogo)));
    label->setScaledContents(true);
    row->addWidget(label);
    column->addLayout(row);
    tableView = new QTableView(central);
    tableView->setObjectName(QStringLiteral("tableView"));
    column->addWidget(tableView);
    window->setCentralWidget(central);

    menuBar = new QMenuBar(window);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuFile = menuBar->addMenu(QStringLiteral("File"));
    menuFile->setObjectName(QStringLiteral("menuFile"));
    menuFile->addAction(actionExit);
    menuHelp = menuBar->addMenu(QStringLiteral("Help"));
    menuHelp->setObjectName(QStringLiteral("menuHelp"));
    menuHelp->addAction(actionAbout);
    window->setMenuBar(menuBar);

    mainToolBar = new QToolBar(window);
    mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
    mainToolBar->setIconSize(QSize(32, 32));
    mainToolBar->addAction(actionNetworkInterface);
    mainToolBar->addAction(actionRefresh);
    mainToolBar->addAction(actionMultiLoad);
    window->addToolBar(Qt::TopToolBarArea, mainToolBar);

    statusBar = new QStatusBar(window);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    window->setStatusBar(statusBar);
}
