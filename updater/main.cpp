#include <QApplication>

#include <memory>

#include "MainWindow.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Corvantix"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("corvantix.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Kolvo Firmware Update"));
    auto window = std::make_unique<kolvo::MainWindow>();
    window->show();
    const int result = app.exec();
    window.reset();
    return result;
}
