#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QModelIndex>
#include <QPointer>

#include <memory>

class DevList;
class MdslDev;
class MdslHost;
class Prompts;
class ProgressBarDelegate;
class QCloseEvent;
class ZEB_Window;
struct MdslForm;

// Loads one preset file into many devices of its model and stores it in one preset slot of
// each: it drives the host's device window through attach, apply, store and detach for each
// ticked device in turn, one device per step.
class Mdsl_Window : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kStepPauseMs = 100;

    // The parent is the host (an MdslHost); the file dialog opens at once.
    explicit Mdsl_Window(QWidget* parent, Prompts* prompts = nullptr,
                         int step_pause_ms = kStepPauseMs);
    ~Mdsl_Window() override;

    bool isFileEmpty() const { return m_file.isEmpty(); }
    QByteArray getFileHeader() const { return m_file_header; }
    // The host's device window; null without a host.
    ZEB_Window* deviceWindow() const;
    DevList* devList() const { return m_list.get(); }
    // A run is under way, or a step of one has not returned yet.
    bool isRunning() const { return m_running || m_depth > 0; }
    // Deletes the window once the step in progress (if any) has returned.
    void deleteWhenIdle();

signals:
    void closing();

public slots:
    void handleRowClick(QModelIndex idx);
    void handle_devices_changed();
    void process_next();
    void on_select_file_pushButton_clicked();
    void on_clear_file_pushButton_clicked();
    void on_preset_comboBox_activated(int index);
    void on_select_all_pushButton_clicked();
    void on_deselect_all_pushButton_clicked();
    void on_cancel_pushButton_clicked();
    void on_start_pushButton_clicked();

protected:
    // Stops a run like Cancel, then emits closing().
    void closeEvent(QCloseEvent* event) override;

private:
    // Counts the calls in progress that may run nested event loops; the last one out deletes
    // the window when that was asked for meanwhile.
    class Depth;

    void serve(MdslDev& row);
    void restoreControls();
    void repaintTable();
    void finishRun();

    MdslHost* m_host;
    Prompts& m_prompts;
    const int m_step_pause_ms;
    std::unique_ptr<MdslForm> m_form;
    std::unique_ptr<DevList> m_list;
    ProgressBarDelegate* m_delegate = nullptr;
    bool m_running = false;
    QPointer<MdslDev> m_current;
    QByteArray m_file;
    QByteArray m_file_header;
    int m_slot = 0;
    int m_depth = 0;
    bool m_delete_when_idle = false;
};
