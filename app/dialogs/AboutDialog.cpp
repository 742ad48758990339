#include "AboutDialog.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ZebResources.h"

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    const QString company = QStringLiteral("Corvantix");
    build(QStringLiteral("ZEB Control"), &company, QStringLiteral("1.5.3"));
}

AboutDialog::AboutDialog(QWidget* parent, const QString& application, const QString& version)
    : QDialog(parent) {
    build(application, nullptr, version);
}

void AboutDialog::build(const QString& application, const QString* company,
                        const QString& version) {
    zebInitResources();
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowModality(Qt::ApplicationModal);
    resize(629, 344);
    setWindowTitle(tr("About"));

    auto* logo = new QPushButton(this);
    logo->setObjectName(QStringLiteral("pushButton"));
    logo->setGeometry(20, 20, 270, 270);
    logo->setFlat(true);
    logo->setIcon(QIcon(QStringLiteral(":/images/QZ-Logo-2.png")));
    logo->setIconSize(QSize(256, 256));

    auto* grid_widget = new QWidget(this);
    grid_widget->setObjectName(QStringLiteral("gridLayoutWidget"));
    grid_widget->setGeometry(310, 80, 300, 130);
    auto* grid = new QGridLayout(grid_widget);
    grid->setObjectName(QStringLiteral("gridLayout"));
    grid->setContentsMargins(0, 0, 0, 0);
    QFont bold;
    bold.setPointSize(11);
    bold.setBold(true);
    int row = 0;
    const auto addRow = [&](const char* label_name, const QString& label_text,
                            const char* edit_name, const QString& value) {
        auto* label = new QLabel(label_text, grid_widget);
        label->setObjectName(QLatin1String(label_name));
        label->setFont(bold);
        auto* edit = new QLineEdit(value, grid_widget);
        edit->setObjectName(QLatin1String(edit_name));
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row++, 1);
    };
    addRow("label_2", tr("Application:"), "app_lineEdit", application);
    if (company) {
        addRow("label_3", tr("Company:"), "company_lineEdit", *company);
    }
    addRow("label", tr("Version:"), "version_lineEdit", version);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, Qt::Horizontal, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    buttons->setGeometry(310, 296, 300, 32);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}
