#pragma once

#include <QString>

namespace kolvo {

// "fwu.ini" in the utility's folder under the user's configuration folder.
QString settingsFilePath();

}  // namespace kolvo
