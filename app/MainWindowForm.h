#pragma once

class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QMenuBar;
class QStatusBar;
class QTableView;
class QToolBar;

// The widgets of the main window, built in code under their object names.
struct MainWindowForm {
    QAction* actionNetworkInterface = nullptr;
    QAction* actionRefresh = nullptr;
    QAction* actionExit = nullptr;
    QAction* actionAbout = nullptr;
    QAction* actionMultiLoad = nullptr;
    QLabel* label = nullptr;
    QTableView* tableView = nullptr;
    QMenuBar* menuBar = nullptr;
    QMenu* menuFile = nullptr;
    QMenu* menuHelp = nullptr;
    QToolBar* mainToolBar = nullptr;
    QStatusBar* statusBar = nullptr;

    void setupUi(QMainWindow* window);
};
