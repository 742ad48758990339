#pragma once

#include <QGenericPlugin>
#include <QObject>
#include <QString>
#include <QTimer>

#include "IconNames.h"

class QMainWindow;

// What scripts/run needs of a program it runs without a user, loaded into the program as the
// Qt generic plugin "zebrunhook" (QT_QPA_GENERIC_PLUGINS). Every half second:
// - ZEB_RUN_TABLE=PATH: the main window's device table is written to PATH as tableText says,
//   when it changed (replaced whole, never half written);
// - ZEB_RUN_TRIGGER=ACTION: once the main window shows, its action of that object name is
//   triggered, and ZEB_RUN_FILE=PATH answers the first file dialog with PATH.
class RunHook : public QObject {
    Q_OBJECT
public:
    RunHook();

private:
    void tick();
    QMainWindow* mainWindow() const;
    void writeTable(QMainWindow& window);
    void answerFileDialog();

    const QString m_table_path;
    QString m_trigger;
    QString m_file;
    QString m_written;
    IconNames m_icons;
    QTimer m_timer;
};

class RunHookPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "zebrunhook.json")
public:
    QObject* create(const QString& key, const QString& parameters) override;
};
