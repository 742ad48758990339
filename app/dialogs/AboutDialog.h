#pragma once

#include <QDialog>
#include <QString>

// The maker, the application's name and its version.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    // The control application's box: company, application and version.
    explicit AboutDialog(QWidget* parent);
    // Another program's box: its name and version, no company row.
    AboutDialog(QWidget* parent, const QString& application, const QString& version);

private:
    void build(const QString& application, const QString* company, const QString& version);
};
