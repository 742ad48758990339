#include "Settings.h"

#include <QStandardPaths>

namespace kolvo {

QString settingsFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Corvantix Firmware Update/fwu.ini");
}

}  // namespace kolvo
