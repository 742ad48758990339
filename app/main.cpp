#include <QApplication>

#include "MainWindow.h"

int main(int argc, char** argv) {
    // Nothing here draws with OpenGL; without this the xcb platform loads the GL driver with
    // the first window, which more than triples the memory of the process.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION")) {
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    }
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
