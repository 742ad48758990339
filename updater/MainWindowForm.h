#pragma once

class QAction;
class QCheckBox;
class QLabel;
class QMainWindow;
class QMenu;
class QMenuBar;
class QPushButton;
class QStatusBar;
class QTableView;
class QToolBar;

namespace kolvo {

// The widgets of the update utility's window: the image information above the device table,
// the update buttons below it, the menus, the tool bar and the status bar.
struct MainWindowForm {
    QAction* actionNetworkInterface = nullptr;
    QAction* actionLoad_FWImage = nullptr;
    QAction* actionExit = nullptr;
    QAction* actionRefresh = nullptr;
    QAction* actionAbout = nullptr;
    QLabel* lbl_NetworkAdapter = nullptr;
    QLabel* network_adapter_label = nullptr;
    QLabel* lbl_ProductID = nullptr;
    QLabel* product_id_label = nullptr;
    QLabel* lbl_FirmwareIamge = nullptr;
    QLabel* img_filename_label = nullptr;
    QLabel* lbl_VersionMajor = nullptr;
    QLabel* major_ver_label = nullptr;
    QLabel* lbl_ = nullptr;
    QLabel* minor_ver_label = nullptr;
    QTableView* tableView = nullptr;
    QPushButton* select_all_pushButton = nullptr;
    QPushButton* deselect_all_pushButton = nullptr;
    QCheckBox* overrideDeviceMatchcheckBox = nullptr;
    QPushButton* back_pushButton = nullptr;
    QPushButton* StartUpdate_pushButton = nullptr;
    QPushButton* Cancel_pushButton = nullptr;
    QMenuBar* menubar = nullptr;
    QMenu* menuFile = nullptr;
    QMenu* menuHelp = nullptr;
    QToolBar* toolBar = nullptr;
    QStatusBar* statusbar = nullptr;

    // Builds the widgets into `window`, which owns them.
    void setupUi(QMainWindow* window);
};

}  // namespace kolvo
