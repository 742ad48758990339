#include "RunHook.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMainWindow>
#include <QSaveFile>
#include <QTableView>

#include "TableText.h"

namespace {

constexpr int kTickMs = 500;

}  // namespace

RunHook::RunHook()
    : m_table_path(qEnvironmentVariable("ZEB_RUN_TABLE")),
      m_trigger(qEnvironmentVariable("ZEB_RUN_TRIGGER")),
      m_file(qEnvironmentVariable("ZEB_RUN_FILE")) {
    connect(&m_timer, &QTimer::timeout, this, &RunHook::tick);
    m_timer.start(kTickMs);
}

QMainWindow* RunHook::mainWindow() const {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* window = qobject_cast<QMainWindow*>(widget);
        if (window && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

void RunHook::tick() {
    QMainWindow* window = mainWindow();
    if (!window) {
        return;
    }
    if (!m_table_path.isEmpty()) {
        writeTable(*window);
    }
    answerFileDialog();
    if (!m_trigger.isEmpty()) {
        QAction* action = window->findChild<QAction*>(m_trigger);
        m_trigger.clear();
        if (action) {
            // Apart from this tick: a dialog the action opens runs its own event loop, in
            // which later ticks answer it.
            QTimer::singleShot(0, action, &QAction::trigger);
        }
    }
}

void RunHook::writeTable(QMainWindow& window) {
    auto* table = window.findChild<QTableView*>();
    if (!table || !table->model()) {
        return;
    }
    const QString text = tableText(*table->model(), m_icons);
    if (text == m_written) {
        return;
    }
    QSaveFile file(m_table_path);
    if (file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.commit()) {
        m_written = text;
    }
}

void RunHook::answerFileDialog() {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog || m_file.isEmpty()) {
        return;
    }
    // The dialog takes the name into its file name field only while that has no focus.
    if (QWidget* focused = dialog->focusWidget()) {
        focused->clearFocus();
    }
    dialog->selectFile(m_file);
    m_file.clear();
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept checks the file
}

QObject* RunHookPlugin::create(const QString& key, const QString&) {
    return key.compare(QLatin1String("zebrunhook"), Qt::CaseInsensitive) == 0 ? new RunHook
                                                                              : nullptr;
}
