#pragma once

class QComboBox;
class QLabel;
class QMainWindow;
class QPushButton;
class QStatusBar;
class QTableView;

// The widgets of the multi-device loader's window, built in code under their object names.
struct MdslForm {
    QLabel* file_name = nullptr;
    QLabel* model_name = nullptr;
    QComboBox* preset_comboBox = nullptr;
    QPushButton* select_file_pushButton = nullptr;
    QPushButton* clear_file_pushButton = nullptr;
    QPushButton* select_all_pushButton = nullptr;
    QPushButton* deselect_all_pushButton = nullptr;
    QTableView* tableView = nullptr;
    QPushButton* cancel_pushButton = nullptr;
    QPushButton* start_pushButton = nullptr;
    QStatusBar* statusbar = nullptr;

    void setupUi(QMainWindow* window);
};
